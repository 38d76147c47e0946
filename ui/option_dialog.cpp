#include "ui/option_dialog.h"

#include <QCheckBox>
#include <QVBoxLayout>

#include "core/port_mapping.h"
#include "ui/dialog_buttons.h"

namespace zk {
namespace {

QCheckBox* add_box(QVBoxLayout* layout, const char* caption, const char* name,
                   std::string_view flag) {
    auto* box = new QCheckBox(caption);
    box->setObjectName(name);
    box->setChecked(is_set(flag));
    layout->addWidget(box);
    return box;
}

const char* flag(const QCheckBox* box) {
    return box->isChecked() ? "1" : "0";
}

}  // namespace

COption::COption(const AppSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setWindowTitle("Option");
    auto* layout = new QVBoxLayout(this);
    auto_startup_ = add_box(layout, "Automatically startup when computer power on ", "auto_startup",
                            settings.auto_startup);
    use_ie_setting_ = add_box(layout, "Use http proxy setting of IE to surfe internet",
                              "use_ie_setting", settings.use_ie_setting);
    voice_notify_ = add_box(layout, "Voice notify when illegal ip connect in", "voice_notify",
                            settings.voice_notify);
    top_window_ =
        add_box(layout, "Show the top float traffic windows", "top_window", settings.top_window);
    // Kept and written back, never offered.
    monitor_router_ = add_box(layout, "Monitor port forwardings setting of router",
                              "monitor_router", settings.monitor_router);
    monitor_router_->hide();

    layout->addSpacing(8);
    layout->addWidget(dialog_buttons(this, "Cancel"));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

AppSettings COption::settings() const {
    AppSettings result = settings_;
    result.auto_startup = flag(auto_startup_);
    result.use_ie_setting = flag(use_ie_setting_);
    result.voice_notify = flag(voice_notify_);
    result.top_window = flag(top_window_);
    result.monitor_router = flag(monitor_router_);
    return result;
}

}  // namespace zk

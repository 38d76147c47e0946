#pragma once
// "Option": the global switches, one check box per setting. Edits a copy of the settings; the
// caller stores the result and carries out what each switch does.

#include <QDialog>

#include "core/app_settings.h"

class QCheckBox;

namespace zk {

class COption final : public QDialog {
    Q_OBJECT
public:
    explicit COption(const AppSettings& settings, QWidget* parent = nullptr);

    // The settings with every box written as "1" or "0"; read after OK.
    AppSettings settings() const;

private:
    AppSettings settings_;
    QCheckBox* auto_startup_;
    QCheckBox* use_ie_setting_;
    QCheckBox* voice_notify_;
    QCheckBox* top_window_;
    QCheckBox* monitor_router_;
};

}  // namespace zk

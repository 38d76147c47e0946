#include "ui/message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "engine/event_log.h"

namespace zk {
namespace {

QMessageBox::Icon box_icon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::error: return QMessageBox::Critical;
        case MessageIcon::warning: return QMessageBox::Warning;
        case MessageIcon::information: return QMessageBox::Information;
        case MessageIcon::none: return QMessageBox::NoIcon;
    }
    return QMessageBox::NoIcon;
}

void show_box(const QString& text, const QString& title, MessageIcon icon) {
    QMessageBox box(box_icon(icon), title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

}  // namespace

void QtMessageSink::show_message(std::string_view text, std::string_view title, MessageIcon icon) {
    const auto qtext = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const auto qtitle = title.empty()
                            ? QStringLiteral("Zelkora")
                            : QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
    if (QThread::currentThread() == thread()) {
        show_box(qtext, qtitle, icon);
        return;
    }
    if (waiting_.fetch_add(1) >= kMostWaiting) {
        waiting_.fetch_sub(1);
        log_event("%.*s\n", static_cast<int>(text.size()), text.data());
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, qtext, qtitle, icon] {
            show_box(qtext, qtitle, icon);
            waiting_.fetch_sub(1);
        },
        Qt::QueuedConnection);
}

}  // namespace zk

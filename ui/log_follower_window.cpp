#include "ui/log_follower_window.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

namespace zk {
namespace {

// Lines kept on screen: the window follows a file that may grow without end.
constexpr int kMostLines = 20000;

}  // namespace

LogFollowerWindow::LogFollowerWindow(const std::string& path,
                                     std::chrono::milliseconds poll_interval, QWidget* parent)
    : QWidget(parent, Qt::Window), follower_(path), view_(new QPlainTextEdit) {
    setObjectName("log_follower");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromStdString(path) + " - Zelkora");
    view_->setObjectName("log_text");
    view_->setReadOnly(true);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setMaximumBlockCount(kMostLines);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    resize(980, 460);
    connect(&timer_, &QTimer::timeout, this, &LogFollowerWindow::read_more);
    timer_.start(poll_interval);
    read_more();
}

QString LogFollowerWindow::text() const {
    return view_->toPlainText();
}

void LogFollowerWindow::read_more() {
    const std::string more = follower_.read_new();
    if (more.empty()) return;
    auto* bar = view_->verticalScrollBar();
    const bool at_end = bar->value() == bar->maximum();
    QTextCursor end(view_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(QString::fromUtf8(more.data(), static_cast<qsizetype>(more.size())));
    // Follow the end unless the user scrolled back to read.
    if (at_end) bar->setValue(bar->maximum());
}

}  // namespace zk

#pragma once
// What window tests share: the desktop seams replaced by recorders, and a way to act on a modal
// dialog once its own event loop runs.

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QtTest>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/recording_sink.h"
#include "ui/desktop_seams.h"

namespace zk::test {

// Answers every file dialog with `path` (empty: the user cancelled) and remembers the request.
class FakeFileChooser : public FileChooser {
public:
    QString save_file_name(QWidget*, const QString& filter,
                           const QString& default_suffix) override {
        ++calls;
        last_filter = filter;
        last_suffix = default_suffix;
        return path;
    }
    QString open_file_name(QWidget*, const QString& filter) override {
        ++calls;
        last_filter = filter;
        last_suffix.clear();
        return path;
    }
    QString path;
    int calls = 0;
    QString last_filter;
    QString last_suffix;
};

// Starts nothing (window tests never run other programs); remembers what it was asked to start.
class RecordingProcessRunner : public ProcessRunner {
public:
    int run(const std::vector<std::string>& argv) override {
        runs.push_back(argv);
        return -1;
    }
    bool launch(const std::vector<std::string>& argv) override {
        launches.push_back(argv);
        return true;
    }
    std::vector<std::vector<std::string>> runs;
    std::vector<std::vector<std::string>> launches;
};

// Seams whose name lookups answer from `hosts` and are counted.
struct FakeSeams {
    FakeSeams() = default;
    FakeSeams(const FakeSeams&) = delete;
    FakeSeams& operator=(const FakeSeams&) = delete;

    RecordingSink sink;
    FakeFileChooser files;
    RecordingProcessRunner processes;
    std::map<std::string, std::string> hosts;
    int lookups = 0;
    DesktopSeams seams{sink, files, processes,
                       [this](const std::string& name) -> std::optional<std::string> {
                           ++lookups;
                           const auto found = hosts.find(name);
                           if (found == hosts.end()) return std::nullopt;
                           return found->second;
                       }};
};

// Runs `action` on the modal dialog of type Dialog as soon as it is the active modal widget,
// from inside its event loop. Call it before the call that opens the dialog. The action should
// close the dialog; one it leaves open is cancelled.
template <typename Dialog>
void when_modal(std::function<void(Dialog*)> action) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, action] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog && std::chrono::steady_clock::now() < deadline) return;
        timer->stop();
        timer->deleteLater();
        if (!dialog) {
            qWarning("%s never became the active modal dialog",
                     Dialog::staticMetaObject.className());
            return;
        }
        const QPointer<Dialog> open(dialog);
        action(dialog);
        // A failed check inside the action returns early; close the dialog so the test ends.
        if (open && open->isVisible()) {
            qWarning("%s left open by the test", Dialog::staticMetaObject.className());
            open->reject();
        }
    });
    timer->start();
}

// The child of `parent` with this objectName; aborts the test run naming it when there is none.
template <typename Widget>
Widget* child(const QObject* parent, const char* name) {
    auto* found = parent->findChild<Widget*>(name);
    if (!found) qFatal("no %s named \"%s\"", Widget::staticMetaObject.className(), name);
    return found;
}

}  // namespace zk::test

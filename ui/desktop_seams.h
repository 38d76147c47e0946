#pragma once
// What the windows do outside themselves, passed in so tests replace it: message boxes, file
// choosers, name lookups and other programs (the browser, systemctl).

#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "core/message_sink.h"
#include "platform/process_runner.h"

class QWidget;

namespace zk {

class FileChooser {
public:
    virtual ~FileChooser() = default;
    // Asks for a file to write. `filter` is in Qt's form ("Log File (*.log)"); a name typed
    // without a suffix gets `default_suffix`. Returns the confirmed path, or an empty text when
    // the user cancelled. UI thread only.
    virtual QString save_file_name(QWidget* parent, const QString& filter,
                                   const QString& default_suffix) = 0;
    // Asks for an existing file to read; an empty text when the user cancelled. UI thread only.
    virtual QString open_file_name(QWidget* parent, const QString& filter) = 0;
};

// The first IPv4 address of a host name in dotted form, or nothing. May block.
using HostResolver = std::function<std::optional<std::string>(const std::string& name)>;

struct DesktopSeams {
    MessageSink& messages;  // boxes for the user; any thread
    FileChooser& files;
    ProcessRunner& processes;  // xdg-open, systemctl
    HostResolver resolve_host;
};

}  // namespace zk

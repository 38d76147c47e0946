#pragma once
// "Input Root Certificate Name": asks for the name of a new root certificate.
//
// UI thread only.

#include <QDialog>
#include <optional>

#include "core/message_sink.h"

class QLineEdit;

namespace zk {

class Root_Name final : public QDialog {
    Q_OBJECT
public:
    Root_Name(MessageSink& messages, QWidget* parent = nullptr);

    // Runs the dialog; the confirmed name, or nothing when the user cancelled.
    std::optional<QString> ask();

    void accept() override;  // refuses an empty name

private:
    MessageSink& messages_;
    QLineEdit* name_;
};

}  // namespace zk

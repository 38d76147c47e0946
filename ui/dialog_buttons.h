#pragma once
// The button row at the foot of a dialog: "OK" (the default, named "ok") and, when a caption is
// given, a cancel button with the dialog's own caption ("Cancel" or "CANCEL", named "cancel").
// Wired to the dialog's accept() and reject(), which the dialog may override.

class QDialog;
class QWidget;

namespace zk {

QWidget* dialog_buttons(QDialog* dialog, const char* cancel_caption = nullptr);

}  // namespace zk

#pragma once
// "SSL Help": how to make the files an SSL mapping needs, in three steps.

#include <QDialog>

namespace zk {

class SSL_Help final : public QDialog {
    Q_OBJECT
public:
    explicit SSL_Help(QWidget* parent = nullptr);
};

}  // namespace zk

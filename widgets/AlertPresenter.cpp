#include "widgets/AlertPresenter.h"

#include "kit/ModalAlert.h"

#include <QMessageBox>
#include <QPushButton>

namespace widgets {

void InstallAlertPresenter()
{
    ModalAlertFactory::SetPresenter(
        [](const std::string& text, const std::string& button, AlertType type) {
            QMessageBox box;
            box.setWindowTitle(QString());
            // Texts may come from the network: never interpret them as markup.
            box.setTextFormat(Qt::PlainText);
            box.setText(QString::fromStdString(text));
            switch (type) {
            case AlertType::Info:
                box.setIcon(QMessageBox::Information);
                break;
            case AlertType::Warning:
                box.setIcon(QMessageBox::Warning);
                break;
            case AlertType::Stop:
                box.setIcon(QMessageBox::Critical);
                break;
            }
            QPushButton* pushButton =
                box.addButton(QString::fromStdString(button), QMessageBox::AcceptRole);
            box.setDefaultButton(pushButton);
            box.setEscapeButton(pushButton);
            box.exec();
        });
}

} // namespace widgets

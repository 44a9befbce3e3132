#include "controller/PopupChoice.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QItemSelectionModel>

namespace sumiro {

void chooseOnSelection(QComboBox* popup) {
    QAbstractItemView* list = popup->view();
    QObject::connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, popup,
                     [popup](const QItemSelection& selected) {
                         // While the list is open, the mouse and the keys move the selection.
                         if (popup->view()->isVisible() || selected.indexes().isEmpty()) {
                             return;
                         }
                         const int row = selected.indexes().front().row();
                         if (row != popup->currentIndex()) popup->setCurrentIndex(row);
                     });
}

namespace {

// Closes a list that is no pop-up when a press lands anywhere else in the application, as a
// pop-up's does.
class CloseOnPressElsewhere final : public QObject {
public:
    explicit CloseOnPressElsewhere(QComboBox* popup) : QObject(popup), popup_(popup) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonPress || !watched->isWidgetType()) return false;
        QWidget* list = popup_->view()->window();
        auto* widget = static_cast<QWidget*>(watched);
        if (list->isVisible() && widget->window() != list) popup_->hidePopup();
        return false;
    }

private:
    QComboBox* popup_;
};

}  // namespace

void openWithoutFocus(QComboBox* popup) {
    // The combo box makes its list's window on first use; it stays with it.
    QWidget* list = popup->view()->window();
    list->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                         Qt::WindowDoesNotAcceptFocus | Qt::BypassWindowManagerHint);
    list->setAttribute(Qt::WA_ShowWithoutActivating);
    qApp->installEventFilter(new CloseOnPressElsewhere(popup));
}

}  // namespace sumiro

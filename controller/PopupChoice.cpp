#include "controller/PopupChoice.h"

#include <QAbstractItemView>
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

}  // namespace sumiro

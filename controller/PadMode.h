#pragma once

#include <QWidget>
#include <memory>

#include "controller/Mode.h"
#include "input/Keys.h"

class QSettings;

namespace sumiro {

class CharacterDatabase;

/// One room of the pad: the view the panel's body shows while one of its modes is selected,
/// with the widgets, tables and state behind it. Whatever reaches beyond the view (typing into
/// the target, the detail and status lines) it asks of the controller through its signals.
class PadMode : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;

    /// Called each time the switch selects `mode`, one of this view's modes.
    virtual void enter(Mode /*mode*/) {}
    /// The character data, once loaded.
    virtual void setDatabase(std::shared_ptr<const CharacterDatabase> /*database*/) {}
    /// Writes what the user chose in this view, to come back after a restart.
    virtual void saveChoices(QSettings& /*settings*/) const {}
    /// Puts back what saveChoices wrote; what is missing or no longer offered stays as it is.
    virtual void restoreChoices(const QSettings& /*settings*/) {}

signals:
    /// The user chose something that saveChoices writes.
    void choiceChanged();
    /// A character the user picked, to be typed into the target.
    void picked(const QString& character);
    /// A character under the pointer, to be described on the detail line.
    void hovered(const QString& character);
    /// A bare key to be pressed in the target.
    void keyPressed(sumiro::Key key);
    /// A message for the status line.
    void status(const QString& message);
};

}  // namespace sumiro

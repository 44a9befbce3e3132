#pragma once

#include <QAccessibleInterface>
#include <QAccessibleWidget>
#include <QPointer>
#include <functional>
#include <unordered_map>

namespace sumiro {

class CharacterGrid;

/// One visible cell of a CharacterGrid as seen by assistive technology: a button named by
/// its character, whose press selects the cell and fires the grid's `clicked`.
class AccessibleCharacter : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    /// The element for cell `index` of `grid`. Its press holds the grid weakly and checks the
    /// index when pressed, since the list may have changed since.
    AccessibleCharacter(CharacterGrid* grid, qsizetype index);

    qsizetype index() const { return index_; }

    /// Run when assistive technology presses the element (after the press returns).
    std::function<void()> press;

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<CharacterGrid> grid_;
    qsizetype index_;
};

/// The grid itself for assistive technology: a group whose children are the cells currently
/// visible, made on demand. Elements are kept per index for the grid's lifetime, so a client
/// holding one never sees it vanish; they read name and state from the grid when asked.
class AccessibleGrid : public QAccessibleWidget {
public:
    explicit AccessibleGrid(CharacterGrid* grid);
    ~AccessibleGrid() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

private:
    CharacterGrid* grid() const;
    QAccessibleInterface* element(qsizetype index) const;

    mutable std::unordered_map<qsizetype, QAccessible::Id> elements_;
};

/// Registers the accessibility factory for CharacterGrid; safe to call repeatedly.
void installAccessibleGrid();

}  // namespace sumiro

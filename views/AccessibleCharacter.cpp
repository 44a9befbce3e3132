#include "views/AccessibleCharacter.h"

#include <QTimer>
#include <QWidget>

#include "views/CharacterGrid.h"

namespace sumiro {

AccessibleCharacter::AccessibleCharacter(CharacterGrid* grid, qsizetype index)
    : press([weak = QPointer<CharacterGrid>(grid), index] {
          if (weak) weak->press(index);
      }),
      grid_(grid),
      index_(index) {}

bool AccessibleCharacter::isValid() const { return !grid_.isNull(); }

QWindow* AccessibleCharacter::window() const {
    return grid_ ? grid_->window()->windowHandle() : nullptr;
}

QAccessibleInterface* AccessibleCharacter::parent() const {
    return grid_ ? QAccessible::queryAccessibleInterface(grid_.data()) : nullptr;
}

QString AccessibleCharacter::text(QAccessible::Text t) const {
    if (t != QAccessible::Name || !grid_ || index_ >= grid_->characters().size()) return {};
    return grid_->characters()[index_];
}

QRect AccessibleCharacter::rect() const {
    if (!grid_ || !grid_->isVisible()) return {};
    const QRect cell = grid_->gridLayout().pitchRect(index_).toAlignedRect();
    return {grid_->mapToGlobal(cell.topLeft()), cell.size()};
}

QAccessible::State AccessibleCharacter::state() const {
    QAccessible::State state;
    if (!grid_ || index_ >= grid_->characters().size()) {
        state.disabled = true;
        return state;
    }
    state.invisible = !grid_->isVisible();
    state.selectable = true;
    state.selected = grid_->isSelected(index_);
    state.hotTracked = grid_->hoverIndex() == index_;
    return state;
}

void* AccessibleCharacter::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::ActionInterface) return static_cast<QAccessibleActionInterface*>(this);
    return nullptr;
}

QStringList AccessibleCharacter::actionNames() const { return {pressAction()}; }

void AccessibleCharacter::doAction(const QString& actionName) {
    if (actionName != pressAction() || !grid_ || !press) return;
    // Later, from the event loop: a press typically sends the character to another
    // application, which must not happen inside the assistive technology's call.
    QTimer::singleShot(0, grid_.data(), [action = press] { action(); });
}

AccessibleGrid::AccessibleGrid(CharacterGrid* grid)
    : QAccessibleWidget(grid, QAccessible::Grouping) {}

AccessibleGrid::~AccessibleGrid() {
    for (const auto& [index, id] : elements_) QAccessible::deleteAccessibleInterface(id);
}

CharacterGrid* AccessibleGrid::grid() const { return static_cast<CharacterGrid*>(widget()); }

int AccessibleGrid::childCount() const { return static_cast<int>(grid()->visibleRange().size()); }

QAccessibleInterface* AccessibleGrid::child(int index) const {
    const IndexRange visible = grid()->visibleRange();
    if (index < 0 || index >= visible.size()) return nullptr;
    return element(visible.first + index);
}

int AccessibleGrid::indexOfChild(const QAccessibleInterface* child) const {
    const auto* cell = dynamic_cast<const AccessibleCharacter*>(child);
    const IndexRange visible = grid()->visibleRange();
    if (!cell || !visible.contains(cell->index())) return -1;
    return static_cast<int>(cell->index() - visible.first);
}

QAccessibleInterface* AccessibleGrid::childAt(int x, int y) const {
    const QPoint local = grid()->mapFromGlobal(QPoint(x, y));
    const std::optional<qsizetype> index = grid()->gridLayout().indexAt(local);
    if (!index || !grid()->visibleRange().contains(*index)) return nullptr;
    return element(*index);
}

QAccessibleInterface* AccessibleGrid::element(qsizetype index) const {
    if (const auto found = elements_.find(index); found != elements_.end()) {
        if (QAccessibleInterface* existing = QAccessible::accessibleInterface(found->second)) {
            return existing;
        }
    }
    // The cache owns registered interfaces; it deletes them with this one (see above).
    auto* cell = new AccessibleCharacter(grid(), index);
    elements_[index] = QAccessible::registerAccessibleInterface(cell);
    return cell;
}

namespace {

QAccessibleInterface* gridFactory(const QString& key, QObject* object) {
    if (key == QLatin1String(CharacterGrid::staticMetaObject.className())) {
        if (auto* grid = qobject_cast<CharacterGrid*>(object)) return new AccessibleGrid(grid);
    }
    return nullptr;
}

}  // namespace

void installAccessibleGrid() {
    static const bool installed = [] {
        QAccessible::installFactory(gridFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

}  // namespace sumiro

// A window that writes down, one line each, every text and key it receives and when it gains or
// loses the keyboard focus, so that end-to-end tests can see exactly what arrived.
// Usage: sumiro_input_target LOG. Line format: "<steady clock µs> <record>" with records
// "focus in", "focus out", "text <hex scalars> mods <hex>" and "key <name> mods <hex>".

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

class Recorder final : public QWidget {
public:
    explicit Recorder(const QString& path) : log_(path) {
        if (!log_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            std::exit(2);
        }
        setWindowTitle(QStringLiteral("Sumiro recording target"));
        setFocusPolicy(Qt::StrongFocus);
        resize(320, 200);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        static const QHash<int, QString> named = {
            {Qt::Key_Backspace, QStringLiteral("BackSpace")},
            {Qt::Key_Return, QStringLiteral("Return")},
            {Qt::Key_Enter, QStringLiteral("Return")},
            {Qt::Key_Escape, QStringLiteral("Escape")},
            {Qt::Key_Delete, QStringLiteral("Delete")},
            {Qt::Key_Tab, QStringLiteral("Tab")},
            {Qt::Key_Left, QStringLiteral("Left")},
            {Qt::Key_Right, QStringLiteral("Right")},
            {Qt::Key_Up, QStringLiteral("Up")},
            {Qt::Key_Down, QStringLiteral("Down")},
        };
        switch (event->key()) {
            case Qt::Key_Shift:
            case Qt::Key_Control:
            case Qt::Key_Alt:
            case Qt::Key_Meta:
            case Qt::Key_AltGr:
            case Qt::Key_Super_L:
            case Qt::Key_Super_R:
            case Qt::Key_CapsLock:
                return;  // the test's own held modifiers
            default:
                break;
        }
        const QString mods =
            QString::number((event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                                   Qt::AltModifier | Qt::MetaModifier))
                                .toInt(),
                            16);
        if (const auto it = named.find(event->key()); it != named.end()) {
            write(QStringLiteral("key ") + *it + QStringLiteral(" mods ") + mods);
        } else if (!event->text().isEmpty()) {
            QString scalars;
            for (const char32_t c : event->text().toUcs4()) {
                scalars += QStringLiteral(" ") + QString::number(c, 16).toUpper();
            }
            write(QStringLiteral("text") + scalars + QStringLiteral(" mods ") + mods);
        } else {
            write(QStringLiteral("key 0x") + QString::number(event->key(), 16) +
                  QStringLiteral(" mods ") + mods);
        }
    }
    void focusInEvent(QFocusEvent*) override { write(QStringLiteral("focus in")); }
    void focusOutEvent(QFocusEvent*) override { write(QStringLiteral("focus out")); }

private:
    void write(const QString& record) {
        const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
        log_.write(
            (QString::number(micros) + QLatin1Char(' ') + record + QLatin1Char('\n')).toUtf8());
    }
    QFile log_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("SumiroTarget"));
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LOG\n", argv[0]);
        return 2;
    }
    Recorder recorder(QString::fromLocal8Bit(argv[1]));
    recorder.show();
    recorder.setFocus();
    return app.exec();
}

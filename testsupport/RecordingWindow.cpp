// A window that writes down, one line each, every text and key it receives and when it gains or
// loses the keyboard focus, so that end-to-end tests can see exactly what arrived.
// Usage: sumiro_input_target LOG. Records: "focus in", "focus out", "text <hex scalars> mods
// <hex>" for printable text and "key <key name> mods <hex>" for any other key but a modifier,
// both from key events, and "commit <hex scalars>" for text an input method commits. SIGUSR1
// makes the field give up the keyboard focus and take it again, which its input method hears.

#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <cstdio>

namespace {

class Recorder final : public QWidget {
public:
    explicit Recorder(QFile& log) : log_(log) {
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_InputMethodEnabled);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const int key = event->key();
        // The test's own held modifiers, and those a delivery lifts and restores.
        if ((key >= Qt::Key_Shift && key <= Qt::Key_ScrollLock) || key == Qt::Key_Super_L ||
            key == Qt::Key_Super_R || key == Qt::Key_AltGr) {
            return;
        }
        QString record = QStringLiteral("key ") + QKeySequence(key).toString();
        if (const auto scalars = event->text().toUcs4();
            !scalars.isEmpty() && QChar::isPrint(scalars.front())) {
            record = QStringLiteral("text");
            for (const char32_t c : scalars) record += ' ' + QString::number(c, 16).toUpper();
        }
        const auto mods = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                                Qt::AltModifier | Qt::MetaModifier);
        write(record + QStringLiteral(" mods ") + QString::number(mods.toInt(), 16));
    }
    void inputMethodEvent(QInputMethodEvent* event) override {
        if (event->commitString().isEmpty()) return;
        QString record = QStringLiteral("commit");
        for (const char32_t c : event->commitString().toUcs4()) {
            record += ' ' + QString::number(c, 16).toUpper();
        }
        write(record);
    }
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override {
        if (query == Qt::ImEnabled) return true;
        return QWidget::inputMethodQuery(query);
    }
    void focusInEvent(QFocusEvent*) override { write(QStringLiteral("focus in")); }
    void focusOutEvent(QFocusEvent*) override { write(QStringLiteral("focus out")); }

private:
    void write(const QString& record) { log_.write((record + '\n').toUtf8()); }
    QFile& log_;
};

int refocusPipe[2] = {-1, -1};

void askRefocus(int) {
    const char byte = 0;
    [[maybe_unused]] const auto written = ::write(refocusPipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("SumiroTarget"));
    QFile log(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    if (!log.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        std::fprintf(stderr, "usage: %s LOG, a file it can write\n", argv[0]);
        return 2;
    }
    Recorder recorder(log);
    recorder.show();
    recorder.setFocus();
    if (::pipe(refocusPipe) != 0) return 1;
    QSocketNotifier refocus(refocusPipe[0], QSocketNotifier::Read);
    QObject::connect(&refocus, &QSocketNotifier::activated, &recorder, [&recorder] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(refocusPipe[0], &byte, 1);
        recorder.clearFocus();
        recorder.setFocus();
    });
    std::signal(SIGUSR1, askRefocus);
    return app.exec();
}

// Shows the canvas and a grid of a few thousand characters in the pad's panel, for trying
// the views by hand and for screenshots.
//
//   views-demo [--sample-ink] [--screenshot FILE.png]
//
// --sample-ink puts a drawn 木 on the canvas; --screenshot saves the panel once it is on
// screen and quits. Clicked and hovered characters and finished strokes are printed.

#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QTextStream>
#include <QTimer>
#include <QWindow>
#include <cstdio>

#include "views/ActionButton.h"
#include "views/CharacterGrid.h"
#include "views/GridScrollView.h"
#include "views/InkView.h"
#include "views/PadPanel.h"
#include "views/ViewHelpers.h"

namespace {

using sumiro::Ink;

QString scalar(char32_t code) { return QString::fromUcs4(&code, 1); }

// The four strokes of 木 in canvas coordinates.
Ink sampleTree() {
    return {
        {{0.18, 0.36}, {0.50, 0.35}, {0.82, 0.34}},
        {{0.50, 0.12}, {0.50, 0.50}, {0.50, 0.88}},
        {{0.49, 0.37}, {0.38, 0.55}, {0.17, 0.72}},
        {{0.51, 0.37}, {0.64, 0.55}, {0.85, 0.72}},
    };
}

QStringList sampleCharacters() {
    QStringList list;
    list << scalar(0x20BB7)                                         // 𠮷, Extension B
         << scalar(0x0378) + scalar(0x0379)                         // unassigned: shown as code
         << scalar(0xF0000)                                         // private use: shown as code
         << scalar(0x6728) << scalar(0x6797) << scalar(0x68EE);     // 木 林 森
    for (char32_t c = 0x3041; c <= 0x3096; ++c) list << scalar(c);  // hiragana
    for (char32_t c = 0x4E00; c < 0x4E00 + 4000; ++c) list << scalar(c);  // kanji
    return list;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"sample-ink", "Put a drawn 木 on the canvas."});
    parser.addOption({"screenshot", "Save the panel to FILE once shown, then quit.", "FILE"});
    parser.process(app);

    QTextStream out(stdout);
    sumiro::PadPanel panel;
    panel.setWindowTitle(QStringLiteral("Sumiro views"));

    auto* ink = new sumiro::InkView;  // owned by the panel through the layouts below
    ink->setFixedSize(250, 250);
    if (parser.isSet("sample-ink")) ink->setStrokes(sampleTree());
    ink->changed = [ink, &out] { out << "strokes " << ink->strokes().size() << Qt::endl; };

    auto* grid = new sumiro::CharacterGrid;
    grid->setCharacters(sampleCharacters());
    grid->clicked = [&out](const QString& c) { out << "clicked " << c << Qt::endl; };
    auto* status =
        sumiro::label(QStringLiteral("文字をクリックすると入力先へ送信します"));
    grid->hovered = [status](const QString& c) { status->setText(c); };
    auto* scroll = sumiro::gridScroll(grid);
    scroll->setMinimumSize(470, 300);

    auto* undo = new sumiro::ActionButton(QStringLiteral("1画戻す"), [ink] { ink->undoStroke(); });
    auto* clear = new sumiro::ActionButton(QStringLiteral("消去"), [ink] { ink->clear(); });
    auto* left = sumiro::stack({ink, sumiro::stack({undo, clear})}, Qt::Vertical,
                               8, sumiro::StackAlignment::Leading);
    auto* body = sumiro::stack({left, scroll}, Qt::Horizontal, 12);
    auto* column = sumiro::stack({body, status}, Qt::Vertical, 10, sumiro::StackAlignment::Leading);
    sumiro::pin(column, &panel, 14);
    panel.resize(780, 420);
    panel.show();

    if (parser.isSet("screenshot")) {
        const QString file = parser.value("screenshot");
        // Wait for the window system to show the panel, then save what it shows.
        const QDeadlineTimer deadline(5000);
        while (!(panel.windowHandle() && panel.windowHandle()->isExposed()) &&
               !deadline.hasExpired()) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        QApplication::processEvents();
        if (!panel.grab().save(file)) {
            std::fprintf(stderr, "views-demo: cannot write %s\n", qPrintable(file));
            return 1;
        }
        out << "saved " << file << Qt::endl;
        return 0;
    }
    return app.exec();
}

#include "controller/KeyboardLayout.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <QCoreApplication>
#include <QTextBoundaryFinder>
#include <memory>

namespace sumiro {

namespace {

const std::array<QString, 9> kKanaRows = {
    u"あいうえおかきくけこ"_qs, u"さしすせそたちつてと"_qs, u"なにぬねのはひふへほ"_qs,
    u"まみむめもやゆよわを"_qs, u"らりるれろがぎぐげご"_qs, u"ざじずぜぞだぢづでど"_qs,
    u"ばびぶべぼぱぴぷぺぽ"_qs, u"ぁぃぅぇぉゃゅょっん"_qs, u"。、「」ー・ゔゎゐゑ"_qs,
};

const std::array<QString, 6> kLatinRows = {
    u"1234567890-="_qs,
    u"qwertyuiop[]"_qs,
    u"asdfghjkl;'"_qs,
    u"zxcvbnm,./"_qs,
    u"ABCDEFGHIJKLMNOPQRSTUVWXYZ"_qs,
    u"!@#$%^&*()_+"_qs,
};

enum class Layout { Hiragana, Katakana, Latin, FullWidth };

Layout layoutAt(int index) {
    switch (index) {
        case 1:
            return Layout::Katakana;
        case 2:
            return Layout::Latin;
        case 3:
            return Layout::FullWidth;
        default:
            return Layout::Hiragana;
    }
}

}  // namespace

QStringList keyboardLayoutTitles() {
    return {QCoreApplication::translate("KeyboardLayout", "ひらがな"),
            QCoreApplication::translate("KeyboardLayout", "カタカナ"),
            QCoreApplication::translate("KeyboardLayout", "英数字"),
            QCoreApplication::translate("KeyboardLayout", "全角英数字")};
}

QString toKatakana(const QString& row) {
    // Made once; ICU's transliterators are not thread-safe, and the keyboard lives on the
    // main thread.
    static const std::unique_ptr<icu::Transliterator> transform = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> t(
            icu::Transliterator::createInstance("Hiragana-Katakana", UTRANS_FORWARD, status));
        return U_SUCCESS(status) ? std::move(t) : nullptr;
    }();
    if (!transform) return row;
    icu::UnicodeString text(reinterpret_cast<const UChar*>(row.utf16()),
                            static_cast<std::int32_t>(row.size()));
    transform->transliterate(text);
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

QString toFullWidth(const QString& row) {
    QString out = row;
    for (QChar& c : out) {
        if (c.unicode() >= 0x21 && c.unicode() <= 0x7E) c = QChar(c.unicode() + 0xFEE0);
    }
    return out;
}

std::vector<QStringList> wrapRow(const QString& row) {
    std::vector<QStringList> lines;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, row);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
        if (lines.empty() || lines.back().size() == kKeysPerLine) lines.emplace_back();
        lines.back().append(row.mid(start, end - start));
        start = end;
    }
    return lines;
}

std::vector<QStringList> keyboardLines(int index) {
    const Layout layout = layoutAt(index);
    std::vector<QStringList> lines;
    const auto add = [&lines](const QString& row) {
        for (QStringList& line : wrapRow(row)) lines.push_back(std::move(line));
    };
    switch (layout) {
        case Layout::Hiragana:
            for (const QString& row : kKanaRows) add(row);
            break;
        case Layout::Katakana:
            for (const QString& row : kKanaRows) add(toKatakana(row));
            break;
        case Layout::Latin:
            for (const QString& row : kLatinRows) add(row);
            break;
        case Layout::FullWidth:
            for (const QString& row : kLatinRows) add(toFullWidth(row));
            break;
    }
    return lines;
}

std::array<EditingKey, 5> editingKeys() {
    return {{
        {QCoreApplication::translate("KeyboardLayout", "空白"), Key::Space},
        {QCoreApplication::translate("KeyboardLayout", "前の文字を削除"), Key::BackSpace},
        {QCoreApplication::translate("KeyboardLayout", "改行"), Key::Return},
        {u"←"_qs, Key::Left},
        {u"→"_qs, Key::Right},
    }};
}

}  // namespace sumiro

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "controller/KeyboardLayout.h"

namespace sumiro {
namespace {

QStringList joined(const std::vector<QStringList>& lines) {
    QStringList out;
    for (const QStringList& line : lines) out.append(line.join(QString()));
    return out;
}

TEST(KeyboardLayout, LinesOfEachLayout) {
    const struct {
        int index;
        QStringList lines;
    } cases[] = {
        {1,
         {u"アイウエオカキクケコ"_qs, u"サシスセソタチツテト"_qs, u"ナニヌネノハヒフヘホ"_qs,
          u"マミムメモヤユヨワヲ"_qs, u"ラリルレロガギグゲゴ"_qs, u"ザジズゼゾダヂヅデド"_qs,
          u"バビブベボパピプペポ"_qs, u"ァィゥェォャュョッン"_qs, u"。、「」ー・ヴヮヰヱ"_qs}},
        {2,
         {u"1234567890-="_qs, u"qwertyuiop[]"_qs, u"asdfghjkl;'"_qs, u"zxcvbnm,./"_qs,
          u"ABCDEFGHIJKLM"_qs, u"NOPQRSTUVWXYZ"_qs, u"!@#$%^&*()_+"_qs}},
        {3,
         {u"１２３４５６７８９０－＝"_qs, u"ｑｗｅｒｔｙｕｉｏｐ［］"_qs,
          u"ａｓｄｆｇｈｊｋｌ；＇"_qs, u"ｚｘｃｖｂｎｍ，．／"_qs,
          u"ＡＢＣＤＥＦＧＨＩＪＫＬＭ"_qs, u"ＮＯＰＱＲＳＴＵＶＷＸＹＺ"_qs,
          u"！＠＃＄％＾＆＊（）＿＋"_qs}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(joined(keyboardLines(c.index)), c.lines);
    }
    EXPECT_EQ(keyboardLines(3)[0][0], QString(QChar(0xFF11)));
    const QStringList hiragana = joined(keyboardLines(0));
    ASSERT_EQ(hiragana.size(), 9);
    EXPECT_EQ(hiragana[0], u"あいうえおかきくけこ"_qs);
    EXPECT_EQ(hiragana[8], u"。、「」ー・ゔゎゐゑ"_qs);
    for (const int unknown : {-1, 4, 99}) EXPECT_EQ(keyboardLines(unknown), keyboardLines(0));
    EXPECT_EQ(keyboardLayoutTitles(),
              (QStringList{u"ひらがな"_qs, u"カタカナ"_qs, u"英数字"_qs, u"全角英数字"_qs}));
}

TEST(KeyboardLayout, KatakanaIsHiraganaShiftedBy0x60) {
    for (const QStringList& line : keyboardLines(0)) {
        for (const QString& key : line) {
            const char16_t c = key[0].unicode();
            const bool kana = c >= 0x3041 && c <= 0x3096;
            EXPECT_EQ(toKatakana(key), kana ? QString(QChar(c + 0x60)) : key) << key.toStdString();
        }
    }
}

TEST(KeyboardLayout, RowsWrapIntoLinesOfThirteenCharacters) {
    const struct {
        QString row;
        std::vector<QStringList> lines;
    } cases[] = {
        {{}, {}},
        {u"𠮷か\u3099e\u0301"_qs, {{u"𠮷"_qs, u"か\u3099"_qs, u"e\u0301"_qs}}},
        {u"abcdefghijklmn"_qs,
         {{u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs, u"e"_qs, u"f"_qs, u"g"_qs, u"h"_qs, u"i"_qs, u"j"_qs,
           u"k"_qs, u"l"_qs, u"m"_qs},
          {u"n"_qs}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row.toStdString());
        EXPECT_EQ(wrapRow(c.row), c.lines);
    }
    EXPECT_EQ(wrapRow(QString(27, u'x')).size(), 3u);
}

TEST(KeyboardLayout, FullWidthShiftsPrintableAsciiOnly) {
    EXPECT_EQ(toFullWidth(u"!a~ あ\u007F"_qs), u"！ａ～ あ\u007F"_qs);
}

TEST(KeyboardLayout, EditingRowPressesItsKeys) {
    std::vector<std::pair<QString, Key>> keys;
    for (const EditingKey& key : editingKeys()) keys.emplace_back(key.title, key.key);
    // clang-format off
    EXPECT_EQ(keys, (std::vector<std::pair<QString, Key>>{
        {u"空白"_qs, Key::Space}, {u"前の文字を削除"_qs, Key::BackSpace}, {u"改行"_qs, Key::Return},
        {u"←"_qs, Key::Left}, {u"→"_qs, Key::Right}}));
    // clang-format on
}

}  // namespace
}  // namespace sumiro

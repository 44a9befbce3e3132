#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include "controller/SearchFocus.h"
#include "views/PadPanel.h"

namespace sumiro {
namespace {

TEST(SearchFocus, TheFieldHoldsTheKeyboardOnlyWhileTypedIn) {
    PadPanel panel;
    auto* field = new QLineEdit(&panel);
    auto* layout = new QVBoxLayout(&panel);
    layout->addWidget(field);
    int givenBack = 0;
    auto* focus = new SearchFocus(field, [&] { ++givenBack; });
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    EXPECT_EQ(field->focusPolicy(), Qt::ClickFocus);

    const struct {
        const char* name;
        std::function<void()> end;
        int givenBack;
    } endings[] = {
        {"Return", [&] { QTest::keyClick(field, Qt::Key_Return); }, 1},
        {"Escape", [&] { QTest::keyClick(field, Qt::Key_Escape); }, 1},
        {"Enter", [&] { QTest::keyClick(field, Qt::Key_Enter); }, 1},
        {"pick", [&] { focus->finish(false); }, 0},
        // clang-format off
        {"hidden with its mode", [&] { field->hide(); field->show(); }, 1},
        // clang-format on
    };
    for (const auto& ending : endings) {
        SCOPED_TRACE(ending.name);
        givenBack = 0;
        field->clear();
        QTest::mouseClick(field, Qt::LeftButton);
        EXPECT_TRUE(panel.acceptsKeyboard());
        EXPECT_TRUE(focus->editing());
        QTest::keyClicks(field, u"U+6728"_qs);
        EXPECT_EQ(field->text(), u"U+6728"_qs);
        ending.end();
        EXPECT_FALSE(focus->editing());
        EXPECT_FALSE(panel.acceptsKeyboard());
        EXPECT_FALSE(field->hasFocus());
        EXPECT_EQ(givenBack, ending.givenBack);
        EXPECT_EQ(field->text(), u"U+6728"_qs) << "the search text stays";
    }
}

}  // namespace
}  // namespace sumiro

// The window reads right: every caption, frame title, list line and text the program puts in a
// box fits its control, measured with the control's own font metrics. CTest runs the
// WindowReads cases at Qt's scale factors 1, 1.25, 1.5 and 2 and on a 144-dpi screen, one
// process each (the factor is read when the QApplication is created).
#include "app_harness.h"

#include "app/form1_look.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QStyleOptionGroupBox>

#include <cstdlib>
#include <vector>

namespace {

using namespace app_testing;

QString scaleNote(const QWidget& w) {
    return QStringLiteral(" (scale %1)").arg(w.devicePixelRatioF());
}

std::string describe(const QWidget* w, const QString& what, const QString& text, int need,
                     int room) {
    return QStringLiteral("%1: %2 \"%3\" needs %4 px, has %5 px%6")
        .arg(w->objectName(), what, text)
        .arg(need)
        .arg(room)
        .arg(scaleNote(*w))
        .toStdString();
}

// The width a line edit has for its text without scrolling: the window's own measure, which
// its shrinking of long texts relies on.
using app::look::textRoom;

int textHeightRoom(const QLineEdit* b) {
    QStyleOptionFrame opt;
    opt.initFrom(b);
    opt.lineWidth =
        b->hasFrame() ? b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, b) : 0;
    return b->style()->subElementRect(QStyle::SE_LineEditContents, &opt, b).height() -
           b->textMargins().top() - b->textMargins().bottom();
}

void expectBoxShowsWhole(const QLineEdit* b) {
    const QFontMetrics fm = b->fontMetrics();
    const int need = fm.horizontalAdvance(b->text());
    EXPECT_LE(need, textRoom(b)) << describe(b, "text", b->text(), need, textRoom(b));
    EXPECT_LE(fm.height(), textHeightRoom(b))
        << describe(b, "text height of", b->text(), fm.height(), textHeightRoom(b));
    // Not smaller than a technician reads at arm's length.
    EXPECT_GE(b->font().pointSizeF(), 7.0) << b->objectName().toStdString();
}

QRect titleRect(const QGroupBox* g) {
    QStyleOptionGroupBox opt;
    opt.initFrom(g);
    opt.text = g->title();
    opt.lineWidth = 1;
    opt.textAlignment = g->alignment();
    opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    return g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
}

// The window, shown on the offscreen screen, and the visible controls of one kind.
struct ShownWindow {
    ShownWindow() {
        // A code set into an output box goes to the card's output; that is not looked at here.
        using testing::_;
        EXPECT_CALL(h.driver, Drvx_ConfigAO(_, _, _)).Times(testing::AnyNumber());
        EXPECT_CALL(h.driver, Drvx_WriteAOVoltageH(_, _, _)).Times(testing::AnyNumber());
        h.form->show();
        QApplication::processEvents();
    }
    template <class W> std::vector<W*> visible() const {
        std::vector<W*> found;
        for (W* w : h.form->findChildren<W*>()) {
            if (!w->objectName().isEmpty() && w->isVisibleTo(h.form.get())) {
                found.push_back(w);
            }
        }
        return found;
    }
    Harness h{true};
};

TEST(WindowReads, RunsAtTheScaleFactorItWasStartedWith) {
    ShownWindow w;
    const char* factor = std::getenv("QT_SCALE_FACTOR");
    const double expected = factor ? std::atof(factor) : w.h.form->devicePixelRatioF();
    EXPECT_DOUBLE_EQ(w.h.form->devicePixelRatioF(), expected);
    // The window keeps its size in layout pixels at every factor: it scales as a whole.
    EXPECT_EQ(w.h.form->size(), QSize(608, 638));
}

TEST(WindowReads, EveryButtonAndLabelCaptionFitsItsControl) {
    ShownWindow w;
    int checked = 0;
    for (QPushButton* b : w.visible<QPushButton>()) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        const QRect room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b);
        const QSize need = b->fontMetrics().size(Qt::TextShowMnemonic, b->text());
        EXPECT_LE(need.width(), room.width())
            << describe(b, "caption", b->text(), need.width(), room.width());
        EXPECT_LE(need.height(), room.height())
            << describe(b, "caption height of", b->text(), need.height(), room.height());
        ++checked;
    }
    for (QLabel* l : w.visible<QLabel>()) {
        if (l->text().isEmpty()) {
            continue; // the picture
        }
        const QRect room = l->contentsRect().adjusted(l->margin() + l->indent(), l->margin(),
                                                      -l->margin(), -l->margin());
        const QSize need = l->fontMetrics().size(0, l->text());
        EXPECT_LE(need.width(), room.width())
            << describe(l, "caption", l->text(), need.width(), room.width());
        EXPECT_LE(need.height(), room.height())
            << describe(l, "caption height of", l->text(), need.height(), room.height());
        ++checked;
    }
    // RELOAD, START, 32 trim buttons, SAVE, RECOVER, EXIT, three file buttons; 34 labels.
    EXPECT_EQ(checked, 40 + 34);
}

TEST(WindowReads, FrameTitlesFitAndKeepTheirDescenders) {
    ShownWindow w;
    int checked = 0;
    for (QGroupBox* g : w.visible<QGroupBox>()) {
        const QRect label = titleRect(g);
        const QFontMetrics fm = g->fontMetrics();
        const int need = label.left() + fm.horizontalAdvance(g->title());
        EXPECT_LE(need, g->width()) << describe(g, "title", g->title(), need, g->width());
        // The title's line, descenders included, must not run under a child control.
        const QRect line(label.left(), label.top(), fm.horizontalAdvance(g->title()), fm.height());
        for (QObject* o : g->children()) {
            auto* c = qobject_cast<QWidget*>(o);
            if (c && c->isVisibleTo(g) && c->geometry().intersects(line)) {
                ADD_FAILURE() << g->objectName().toStdString() << ": title \""
                              << g->title().toStdString()
                              << "\" reaches down to y=" << line.bottom() + 1 << ", "
                              << c->objectName().toStdString() << " starts at y=" << c->y()
                              << scaleNote(*g).toStdString();
            }
        }
        ++checked;
    }
    EXPECT_EQ(checked, 6 + 2 + 8 + 6);
}

TEST(WindowReads, TheWarningShowsItsFourLinesWholeWithoutScrollBars) {
    ShownWindow w;
    QListWidget* list = app::testProbe(*w.h.form).ui.List1;
    ASSERT_EQ(list->count(), 4);
    const QRect view = list->viewport()->rect();
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    for (int i = 0; i < list->count(); ++i) {
        const QListWidgetItem* item = list->item(i);
        EXPECT_EQ(item->text().toStdString(), app::look::kNoteLines[static_cast<std::size_t>(i)]);
        const QRect r = list->visualItemRect(item);
        const int need = list->fontMetrics().horizontalAdvance(item->text()) + 2 * margin;
        EXPECT_LE(need, view.width()) << describe(list, "line", item->text(), need, view.width());
        EXPECT_TRUE(view.contains(r))
            << "List1: line " << i << " lies at y " << r.top() << ".." << r.bottom()
            << ", outside the list's " << view.height() << " px" << scaleNote(*list).toStdString();
    }
    EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(list->verticalScrollBar()->maximum(), 0);
    EXPECT_FALSE(list->verticalScrollBar()->isVisibleTo(list));
    EXPECT_FALSE(list->horizontalScrollBar()->isVisibleTo(list));
}

TEST(WindowReads, TextsTheProgramSetsFitTheirBoxes) {
    ShownWindow w;
    app::Form1& f = *w.h.form;
    // What the boxes hold before any card is read.
    for (QLineEdit* b : w.visible<QLineEdit>()) {
        expectBoxShowsWhole(b);
    }
    // Codes as the card's words give them: four digits, and eight where a driver sign-extends.
    for (const char* code : {"7FFF", "FFFF", "FFFFFFFF", "FFFF8000", "0"}) {
        for (int k = 0; k < 8; ++k) {
            f.setText(caldata::aoMax(k), code);
            f.setText(caldata::aoMin(k), code);
            expectBoxShowsWhole(app::testProbe(f).ui.tbxBiAOMax[static_cast<std::size_t>(k)]);
            expectBoxShowsWhole(app::testProbe(f).ui.tbxBiAOMin[static_cast<std::size_t>(k)]);
        }
        for (int j = 0; j < 6; ++j) {
            f.setText(caldata::aiMax(j), code);
            f.setText(caldata::aiMin(j), code);
            expectBoxShowsWhole(app::testProbe(f).ui.tbxAIMaxVal[static_cast<std::size_t>(j)]);
            expectBoxShowsWhole(app::testProbe(f).ui.tbxAIMinVal[static_cast<std::size_t>(j)]);
        }
    }
    // Measured references as the program writes them (seven significant digits).
    for (const char* volts : {"10.00001", "9.999999", "4.999999", "10.0"}) {
        f.setText(caldata::ref10(), volts);
        f.setText(caldata::ref5(), volts);
        expectBoxShowsWhole(app::testProbe(f).ui.tbx10VRef);
        expectBoxShowsWhole(app::testProbe(f).ui.tbx5VRef);
    }
    // Board counts up to the 1024 cards the simulation offers; boards 0 to 31.
    for (const char* count : {"1", "32", "1024"}) {
        app::testProbe(f).ui.tbxTotal->setText(QString::fromUtf8(count));
        expectBoxShowsWhole(app::testProbe(f).ui.tbxTotal);
    }
    app::testProbe(f).ui.tbxActive->setText(QStringLiteral("31"));
    expectBoxShowsWhole(app::testProbe(f).ui.tbxActive);
}

TEST(WindowReads, AFilledBoxShowsTheStartOfItsTextAndALongTextInItsTooltip) {
    ShownWindow w;
    app::Form1& f = *w.h.form;
    auto startShown = [](QLineEdit* b) {
        b->grab(); // painting settles the box's scrolling
        const QRect cursor = b->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        EXPECT_EQ(b->cursorPosition(), 0) << b->objectName().toStdString();
        EXPECT_LE(cursor.left(), b->contentsRect().left() + 4) << b->objectName().toStdString();
    };

    // An erased or odd EEPROM gives a reference too long for its box.
    f.setText(caldata::ref10(), "1.35365e+31");
    startShown(app::testProbe(f).ui.tbx10VRef);
    EXPECT_EQ(app::testProbe(f).ui.tbx10VRef->toolTip(), "1.35365e+31");
    f.setText(caldata::ref10(), "10.0");
    startShown(app::testProbe(f).ui.tbx10VRef);
    EXPECT_TRUE(app::testProbe(f).ui.tbx10VRef->toolTip().isEmpty());

    // A code box shows an eight-digit code from its first digit, in a size that fits it, and
    // goes back to its own font for a four-digit code.
    const QFont codeFont = app::testProbe(f).ui.tbxBiAOMax[3]->font();
    f.setText(caldata::aoMax(3), "FFFF8000");
    startShown(app::testProbe(f).ui.tbxBiAOMax[3]);
    expectBoxShowsWhole(app::testProbe(f).ui.tbxBiAOMax[3]);
    f.setText(caldata::aoMax(3), "8000");
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMax[3]->font(), codeFont);
    EXPECT_TRUE(app::testProbe(f).ui.tbxBiAOMax[3]->toolTip().isEmpty());

    // A long file name: its beginning in the box, the whole of it in the tooltip.
    const QString path = QStringLiteral("/home/technician/calibration/2014-04-11/board-0/"
                                        "MX4815-factory-settings.ini");
    app::testProbe(f).ui.tbxFileName->setText(path);
    startShown(app::testProbe(f).ui.tbxFileName);
    EXPECT_EQ(app::testProbe(f).ui.tbxFileName->toolTip(), path);

    // Typing is left alone: the cursor stays where the technician types.
    QLineEdit* typed = app::testProbe(f).ui.tbx5VRef;
    typed->setFocus();
    typed->end(false);
    typed->insert(QStringLiteral("1234567"));
    EXPECT_EQ(typed->cursorPosition(), typed->text().size());
}

TEST(WindowLook, TabGoesLeftToRightTopToBottomFrameByFrame) {
    ShownWindow w;
    app::Form1& f = *w.h.form;
    for (QWidget* b : {app::testProbe(f).ui.cmdWriteEEP, app::testProbe(f).ui.cmdRecover,
                       app::testProbe(f).ui.cmdLoadINI, app::testProbe(f).ui.cmdSaveINI}) {
        b->setEnabled(true); // as after a RELOAD and a file choice
    }
    // A control of the window: a direct child of the window or of one of its frames.
    auto isControl = [&f](QWidget* x) {
        return x->parentWidget() == &f || qobject_cast<QGroupBox*>(x->parentWidget());
    };
    // The controls Tab reaches, from the first one on.
    std::vector<QWidget*> chain;
    QWidget* first = app::testProbe(f).ui.tbxTotal;
    QWidget* c = first;
    do {
        if (isControl(c) && c->isVisibleTo(&f) && c->isEnabled() &&
            (c->focusPolicy() & Qt::TabFocus)) {
            chain.push_back(c);
        }
        c = c->nextInFocusChain();
    } while (c != first && chain.size() < 500);
    ASSERT_GE(chain.size(), 50u);
    EXPECT_EQ(chain.front(), app::testProbe(f).ui.tbxTotal);

    // Every control that takes focus is reached once.
    int focusable = 0;
    for (QWidget* x : f.findChildren<QWidget*>()) {
        if (isControl(x) && x->isVisibleTo(&f) && x->isEnabled() &&
            (x->focusPolicy() & Qt::TabFocus)) {
            ++focusable;
        }
    }
    EXPECT_EQ(static_cast<int>(chain.size()), focusable);

    // Consecutive controls in one frame: the next is to the right in the same row, or starts
    // below the middle of the one before.
    // Frames are left whole and follow one another in the same order.
    auto sameRow = [](const QRect& a, const QRect& b) {
        return (b.center().y() >= a.top() && b.center().y() <= a.bottom()) ||
               (a.center().y() >= b.top() && a.center().y() <= b.bottom());
    };
    auto inOrder = [&](const QRect& a, const QRect& b) {
        return (sameRow(a, b) && b.left() > a.left()) || b.top() > a.center().y();
    };
    auto ancestors = [&f](QWidget* x) {
        std::vector<QWidget*> up;
        for (QWidget* p = x; p != &f; p = p->parentWidget()) {
            up.insert(up.begin(), p);
        }
        return up;
    };
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
        const auto a = ancestors(chain[i]);
        const auto b = ancestors(chain[i + 1]);
        std::size_t d = 0;
        while (d < a.size() && d < b.size() && a[d] == b[d]) {
            ++d;
        }
        ASSERT_TRUE(d < a.size() && d < b.size());
        // a[d] and b[d] are siblings: two controls of one frame, or two frames of one parent.
        EXPECT_TRUE(inOrder(a[d]->geometry(), b[d]->geometry()))
            << chain[i]->objectName().toStdString() << " -> "
            << chain[i + 1]->objectName().toStdString() << " (" << a[d]->objectName().toStdString()
            << " then " << b[d]->objectName().toStdString() << ")";
    }
}

TEST(WindowLook, TheWindowCarriesTheWarningSignAsItsIcon) {
    ShownWindow w;
    const QIcon icon = w.h.form->windowIcon();
    ASSERT_FALSE(icon.isNull());
    for (int side : {16, 32, 48}) {
        const QImage image = icon.pixmap(side, side).toImage();
        EXPECT_EQ(image.width(), image.height());
        // The sign's yellow fills the middle; the corners stay clear.
        const QColor middle = image.pixelColor(image.width() / 2, image.height() * 2 / 3);
        EXPECT_GT(middle.alpha(), 200) << side;
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << side;
    }
}

} // namespace

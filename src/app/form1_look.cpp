#include "app/form1_look.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QWidget>

namespace app::look {

namespace {

// "MS Sans Serif" is a Windows face; on Windows, where it is missing, the nearest faces stand in
// for it. "Arial" elsewhere is Liberation Sans, of the same widths. Without any of them the
// style hint below picks the system's sans-serif face.
void installSubstitutes() {
    static const bool installed = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Microsoft Sans Serif"),
                                    QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                    QStringLiteral("Arial")});
        QFont::insertSubstitutions(QStringLiteral("Arial"),
                                   {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
        return true;
    }();
    (void)installed;
}

QFont font(const char* family, qreal points) {
    installSubstitutes();
    QFont f(QString::fromUtf8(family));
    f.setPointSizeF(points);
    // Where the family is missing (it is a Windows font), take the system's sans-serif face.
    f.setStyleHint(QFont::SansSerif);
    return f;
}

// The first installed of `families`, else the system's sans-serif face.
QFont firstOf(const QStringList& families, qreal points) {
    QFont f(families.front());
    f.setFamilies(families);
    f.setPointSizeF(points);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

// Liberation Sans has the widths of Arial; Arimo is the same design under its other name.
[[maybe_unused]] QStringList standInFamilies() { // off Windows only
    return {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial")};
}
QStringList narrowFamilies() {
    return {QStringLiteral("Liberation Sans Narrow"), QStringLiteral("Arial Narrow")};
}

QFont msSansSerif(qreal points) {
#ifdef Q_OS_WIN
    return font("MS Sans Serif", points);
#else
    return firstOf(standInFamilies(), msSansSerifStandIn(points));
#endif
}

bool fits(const QLineEdit* box, const QFont& f, const QString& text) {
    return QFontMetrics(f, box).horizontalAdvance(text) <= textRoom(box);
}

// The box's own font when the text fits it; else the largest smaller size of that face, then
// of the narrow face, that fits, but never below 7 pt: a longer text stays in the tooltip.
QFont fittingFont(const QLineEdit* box, const QFont& own, const QString& text) {
    if (fits(box, own, text)) {
        return own;
    }
    constexpr qreal kSmallest = 7.0;
    constexpr qreal kStep = 0.75; // one pixel at 96 dpi
    QFont f = own;
    for (qreal p = own.pointSizeF() - kStep; p >= kSmallest; p -= kStep) {
        f.setPointSizeF(p);
        if (fits(box, f, text)) {
            return f;
        }
    }
    QFont narrow = firstOf(narrowFamilies(), own.pointSizeF());
    for (qreal p = own.pointSizeF(); p >= kSmallest; p -= kStep) {
        narrow.setPointSizeF(p);
        if (fits(box, narrow, text)) {
            return narrow;
        }
    }
    return narrow;
}

} // namespace

QColor fromColourValue(card::Long value) {
    const auto v = static_cast<std::uint32_t>(value);
    return QColor(static_cast<int>(v & 0xFFu), static_cast<int>((v >> 8) & 0xFFu),
                  static_cast<int>((v >> 16) & 0xFFu));
}

QColor buttonFace() {
    return QGuiApplication::palette().color(QPalette::Button);
}
QColor lightGreen() {
    return QColor(192, 255, 192);
}
QColor lightYellow() {
    return QColor(255, 255, 192);
}
QColor yellow() {
    return QColor(255, 255, 0);
}

qreal msSansSerifStandIn(qreal points) {
    // The layout was drawn for the bitmap face, which is narrower and shorter than Liberation
    // Sans. 8 pt becomes 7.5 pt (10 px): the warning's longest line, 176 px at 8 pt, is 162 px
    // and fits the list's 175 px with its margins. 12 pt becomes 10 pt (13 px): a frame title's
    // line is then 15 px and ends above the first control 16 px down, and "Broswer(B)" takes
    // 65 px of its button's 71. 9.75 pt (13 px) stays.
    if (points < 9.0) {
        return points * 15.0 / 16.0;
    }
    if (points < 11.0) {
        return points;
    }
    return points * 5.0 / 6.0;
}

QFont defaultFont() {
    return msSansSerif(8.0);
}
QFont largeFont() {
    return msSansSerif(12.0);
}
QFont codeFont() {
    return msSansSerif(9.75);
}
QFont recoverFont() {
    return font("Arial", 12.0);
}
QFont stepFont() {
    return msSansSerif(13.5);
}

int textRoom(const QLineEdit* box) {
    QStyleOptionFrame opt;
    opt.initFrom(box);
    opt.lineWidth =
        box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, box) : 0;
    opt.state |= QStyle::State_Sunken;
    const QRect r = box->style()
                        ->subElementRect(QStyle::SE_LineEditContents, &opt, box)
                        .marginsRemoved(box->textMargins());
    // A line edit keeps 2 px either side of its text, and one more with the cursor behind it.
    return r.width() - 2 * 2 - 1 - box->style()->pixelMetric(QStyle::PM_TextCursorWidth, &opt, box);
}

void keepReadable(QLineEdit* box, Overflow overflow) {
    const QFont own = box->font();
    auto update = [box, own, overflow](const QString& text) {
        if (overflow == Overflow::ShrinkToFit) {
            const QFont f = fittingFont(box, own, text);
            if (f != box->font()) {
                box->setFont(f);
            }
        }
        box->setToolTip(fits(box, box->font(), text) ? QString() : text);
        // A set clears the modified flag, typing sets it: only a set moves the cursor.
        if (!box->isModified()) {
            box->setCursorPosition(0);
        }
    };
    QObject::connect(box, &QLineEdit::textChanged, box, update);
    update(box->text());
}

void paintBack(QWidget* w, const QColor& colour) {
    if (w->palette().color(QPalette::Window) == colour) {
        return; // a palette set again is a new palette to the style's pixmap cache
    }
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
}

void keepOwnPalette(QWidget* w) {
    QPalette p = w->palette();
    p.setResolveMask(~QPalette::ResolveMask{0});
    w->setPalette(p);
}

} // namespace app::look

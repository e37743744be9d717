#include "app/form1_look.h"

#include <QGuiApplication>
#include <QPalette>
#include <QWidget>

namespace app::look {

namespace {

// "MS Sans Serif" is a Windows face. Elsewhere the nearest faces of the same widths stand in
// for it; without any of them the style hint below picks the system's sans-serif face.
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

QFont defaultFont() {
    return font("MS Sans Serif", 8.0);
}
QFont largeFont() {
    return font("MS Sans Serif", 12.0);
}
QFont codeFont() {
    return font("MS Sans Serif", 9.75);
}
QFont recoverFont() {
    return font("Arial", 12.0);
}
QFont stepFont() {
    return font("MS Sans Serif", 13.5);
}

void paintBack(QWidget* w, const QColor& colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
}

} // namespace app::look

#pragma once

// Small pieces the settings tabs share: faded and scaled text, status dots, icon buttons and
// segmented-picker segments. Colours come from the palette so a dark theme stays readable.

#include <QColor>
#include <QString>

class QLabel;
class QPushButton;
class QToolButton;
class QVBoxLayout;
class QWidget;

namespace tandemo::ui {

inline constexpr double kSecondary = 0.7;  // text opacity of secondary and tertiary styles
inline constexpr double kTertiary = 0.5;

// The widget's own text colour at `opacity`.
void fade(QWidget* widget, double opacity);
void scaleFont(QWidget* widget, double factor);
// A wrapping label in a scaled, faded font.
QLabel* caption(const QString& text, double scale = 0.9, double opacity = kSecondary);
void setTextIfChanged(QLabel* label, const QString& text);
// A filled circle at the screen's pixel ratio; the colour is kept in the "dotColor" property.
void setDot(QLabel* dot, const QColor& color, int diameter);
// The theme's icon, or `fallback` text where the theme has none; `name` is read out and shown as tip.
QToolButton* iconButton(const char* themeIcon, const QString& fallback, const QString& name);
// A checkable segment of a segmented picker; the chosen one is drawn in the highlight colour,
// which every theme, dark ones included, keeps distinct from plain buttons.
QPushButton* segmentButton(const QString& text);
// Fills `tab` with a frameless scroll area named `name` and returns the layout of its content.
QVBoxLayout* scrollingContent(QWidget* tab, const QString& name);

}  // namespace tandemo::ui

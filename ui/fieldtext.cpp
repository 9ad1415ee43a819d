#include "ui/fieldtext.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

namespace hmx {

namespace {

// QLineEdit keeps this many pixels free on each side of its text, and one for the cursor.
constexpr int LineEditMargin = 2;
constexpr int CursorWidth = 1;
constexpr int SmallestPixelSize = 6;
constexpr const char* DesignedFont = "hmxDesignedFont";

} // namespace

int TextRoom(const QLineEdit& field)
{
    QStyleOptionFrame option;
    option.initFrom(&field);
    option.rect = field.rect();
    option.lineWidth = field.hasFrame() ? field.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &field) : 0;
    const QRect contents = field.style()->subElementRect(QStyle::SE_LineEditContents, &option, &field);
    const QMargins margins = field.textMargins();
    return contents.width() - margins.left() - margins.right() - 2 * LineEditMargin - CursorWidth;
}

void ShowWhole(QLineEdit& field, const QString& text)
{
    QVariant designed = field.property(DesignedFont);
    if (!designed.isValid()) {
        designed = field.font();
        field.setProperty(DesignedFont, designed);
    }
    QFont font = designed.value<QFont>();
    const int room = TextRoom(field);
    const bool inPixels = font.pixelSize() > 0;
    int size = inPixels ? font.pixelSize() : font.pointSize();
    while (QFontMetrics(font).horizontalAdvance(text) > room && size > SmallestPixelSize) {
        --size;
        if (inPixels)
            font.setPixelSize(size);
        else
            font.setPointSize(size);
    }
    if (field.font() != font)
        field.setFont(font);
    field.setText(text);
    field.setCursorPosition(0);
}

} // namespace hmx

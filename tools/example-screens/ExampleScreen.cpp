#include "ExampleScreen.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

struct Palette {
    QColor background{0xF4, 0xF5, 0xF7};
    QColor card{Qt::white};
    QColor text{0x1F, 0x23, 0x29};
    QColor secondary{0x86, 0x90, 0x9C};
    QColor accent{0xFF, 0x4D, 0x4F};
    QColor divider{0xE5, 0xE6, 0xEB};
};

QFont font(double pointSize, bool bold = false)
{
    QFont f(QStringLiteral("WenQuanYi Micro Hei"));
    f.setPixelSize(int(pointSize));
    f.setBold(bold);
    return f;
}

void roundedRect(QPainter &p, const QRectF &r, double radius, const QBrush &brush)
{
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    p.fillPath(path, brush);
}

void text(QPainter &p, const QRectF &r, const QString &s, const QFont &f, const QColor &c,
          int flags = Qt::AlignLeft | Qt::AlignVCenter)
{
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, flags, s);
}

void statusBar(QPainter &p, const QString &time, const Palette &pal)
{
    text(p, QRectF(32, 14, 80, 22), time, font(16, true), pal.text);
    // signal bars, wifi dot and battery
    for (int i = 0; i < 4; ++i)
        p.fillRect(QRectF(300 + i * 5, 28 - i * 3, 3, 4 + i * 3), pal.text);
    p.setBrush(pal.text);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(326, 20, 9, 9));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(pal.text, 1.2));
    p.drawRoundedRect(QRectF(342, 18, 25, 12), 3, 3);
    p.fillRect(QRectF(344, 20, 17, 8), pal.text);
}

} // namespace

QImage ExampleScreen::draw(Variant variant, double scale)
{
    const bool device = variant == Variant::device;
    const Palette pal;
    QImage image(int(kWidthPoints * scale), int(kHeightPoints * scale), QImage::Format_RGB32);
    image.fill(pal.background);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(scale, scale);

    statusBar(p, device ? QStringLiteral("9:41") : QStringLiteral("10:08"), pal);

    // Navigation bar
    text(p, QRectF(0, 54, kWidthPoints, 44), QStringLiteral("确认订单"), font(18, true), pal.text, Qt::AlignCenter);
    p.setPen(QPen(pal.text, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(28, 76), QPointF(20, 68));
    p.drawLine(QPointF(20, 68), QPointF(28, 60));

    // Address card
    roundedRect(p, QRectF(16, 108, 361, 92), 14, pal.card);
    text(p, QRectF(32, 120, 300, 26), QStringLiteral("林晓 138 0000 1234"), font(16, true), pal.text);
    text(p, QRectF(32, 148, 320, 40), QStringLiteral("上海市浦东新区世纪大道 100 号 28 楼"), font(14), pal.secondary,
         Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);

    // Promotion banner: only in the design
    double y = 212;
    if (!device) {
        QLinearGradient g(16, y, 377, y);
        g.setColorAt(0, QColor(0xFF, 0x7A, 0x45));
        g.setColorAt(1, QColor(0xFF, 0x4D, 0x4F));
        roundedRect(p, QRectF(16, y, 361, 56), 14, g);
        text(p, QRectF(32, y, 320, 56), QStringLiteral("新人专享：满 199 减 30"), font(16, true), Qt::white);
    }
    y += 68;

    // Product card
    roundedRect(p, QRectF(16, y, 361, 150), 14, pal.card);
    QLinearGradient photo(32, y + 16, 132, y + 116);
    photo.setColorAt(0, QColor(0x8E, 0xC5, 0xFC));
    photo.setColorAt(1, QColor(0xE0, 0xC3, 0xFC));
    roundedRect(p, QRectF(32, y + 16, 100, 100), 10, photo);
    text(p, QRectF(146, y + 16, 220, 24), QStringLiteral("降噪蓝牙耳机 Pro"), font(16, true), pal.text);
    text(p, QRectF(146, y + 44, 220, 20), QStringLiteral("月光白 · 标准版"), font(13), pal.secondary);
    text(p, QRectF(146, y + 90, 150, 26), device ? QStringLiteral("¥ 259.00") : QStringLiteral("¥ 299.00"),
         font(18, true), pal.accent);
    text(p, QRectF(300, y + 90, 60, 26), QStringLiteral("×1"), font(14), pal.secondary,
         Qt::AlignRight | Qt::AlignVCenter);
    y += 162;

    // Order rows; on the device the list starts 10 points lower
    if (device)
        y += 10;
    roundedRect(p, QRectF(16, y, 361, 4 * 52), 14, pal.card);
    const QStringList labels = {QStringLiteral("配送方式"), QStringLiteral("优惠券"), QStringLiteral("发票"),
                                QStringLiteral("订单备注")};
    const QStringList values = {QStringLiteral("快递 免邮"), QStringLiteral("-¥ 30.00"), QStringLiteral("电子发票"),
                                QStringLiteral("选填")};
    for (int i = 0; i < labels.size(); ++i) {
        const double rowY = y + i * 52;
        text(p, QRectF(32, rowY, 150, 52), labels[i], font(15), pal.text);
        text(p, QRectF(180, rowY, 170, 52), values[i], font(15), i == 1 ? pal.accent : pal.secondary,
             Qt::AlignRight | Qt::AlignVCenter);
        if (i > 0)
            p.fillRect(QRectF(32, rowY, 329, 0.8), pal.divider);
    }

    // Bottom bar with total and pay button
    const double barY = kHeightPoints - 34 - 64 - 60;
    p.fillRect(QRectF(0, barY, kWidthPoints, 60), pal.card);
    text(p, QRectF(20, barY, 200, 60), QStringLiteral("合计：¥ 269.00"), font(17, true), pal.text);
    const QColor button = device ? QColor(0x1E, 0x88, 0xE5) : QColor(0xFF, 0x4D, 0x4F);
    roundedRect(p, QRectF(237, barY + 8, 140, 44), 22, button);
    text(p, QRectF(237, barY + 8, 140, 44), QStringLiteral("提交订单"), font(16, true), Qt::white, Qt::AlignCenter);

    // Tab bar
    const double tabY = kHeightPoints - 34 - 64;
    p.fillRect(QRectF(0, tabY, kWidthPoints, 98), pal.card);
    p.fillRect(QRectF(0, tabY, kWidthPoints, 0.8), pal.divider);
    const QStringList tabs = {QStringLiteral("首页"), QStringLiteral("分类"), QStringLiteral("购物车"),
                              QStringLiteral("我的")};
    for (int i = 0; i < tabs.size(); ++i) {
        const double cx = 49 + i * 98.3;
        const QColor c = i == 2 ? pal.accent : pal.secondary;
        roundedRect(p, QRectF(cx - 11, tabY + 10, 22, 22), 6, c);
        text(p, QRectF(cx - 40, tabY + 36, 80, 20), tabs[i], font(11), c, Qt::AlignCenter);
    }
    if (device) {
        p.setBrush(pal.accent);
        p.setPen(QPen(Qt::white, 1.5));
        p.drawEllipse(QPointF(49 + 2 * 98.3 + 13, tabY + 10), 8, 8);
        text(p, QRectF(49 + 2 * 98.3 + 5, tabY + 2, 16, 16), QStringLiteral("3"), font(10, true), Qt::white,
             Qt::AlignCenter);
    }
    // Home indicator
    roundedRect(p, QRectF(129, kHeightPoints - 14, 135, 5), 2.5, pal.text);
    p.end();
    return image;
}

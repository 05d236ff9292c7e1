#include "TonvaleArt.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

const QColor kAccent(0, 122, 204);
const QColor kFace(37, 37, 38);
const QColor kRim(104, 104, 112);
const QColor kText(241, 241, 241);
const QColor kNeedle(230, 80, 60);

// A dial from -225° to 45° (clockwise) with ticks, a coloured load band and a needle at 70 %.
void DrawGauge(QPainter &p, const QRectF &box)
{
    const double side = std::min(box.width(), box.height());
    const QRectF dial(box.center().x() - side / 2, box.center().y() - side / 2, side, side);
    const double pen = std::max(1.0, side / 16);

    p.setPen(QPen(kRim, pen));
    p.setBrush(kFace);
    p.drawEllipse(dial.adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2));

    const QRectF band = dial.adjusted(pen * 2.2, pen * 2.2, -pen * 2.2, -pen * 2.2);
    p.setPen(QPen(kAccent, pen * 1.2, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(band, 225 * 16, -270 * 16);

    const QPointF c = dial.center();
    const double r = band.width() / 2;
    p.setPen(QPen(kText, std::max(1.0, pen / 2)));
    for (int i = 0; i <= 10; ++i) {
        const double a = (225.0 - 27.0 * i) * M_PI / 180.0;
        const double inner = i % 5 == 0 ? r * 0.70 : r * 0.80;
        p.drawLine(QPointF(c.x() + inner * std::cos(a), c.y() - inner * std::sin(a)),
                   QPointF(c.x() + r * 0.92 * std::cos(a), c.y() - r * 0.92 * std::sin(a)));
    }

    const double a = (225.0 - 270.0 * 0.7) * M_PI / 180.0;
    p.setPen(QPen(kNeedle, pen * 0.9, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, QPointF(c.x() + r * 0.85 * std::cos(a), c.y() - r * 0.85 * std::sin(a)));
    p.setPen(Qt::NoPen);
    p.setBrush(kText);
    p.drawEllipse(c, pen * 0.9, pen * 0.9);
}

} // namespace

QIcon TonvaleAppIcon()
{
    QIcon icon;
    for (int side : {16, 32, 48, 64, 128}) {
        QPixmap pm(side, side);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        DrawGauge(p, QRectF(0, 0, side, side));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

QPixmap HelpButtonPicture(const QSize &size)
{
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    const QRectF all(0.5, 0.5, size.width() - 1, size.height() - 1);
    QPainterPath frame;
    frame.addRoundedRect(all, 8, 8);
    QLinearGradient shade(all.topLeft(), all.bottomLeft());
    shade.setColorAt(0, QColor(52, 52, 56));
    shade.setColorAt(1, QColor(30, 30, 32));
    p.fillPath(frame, shade);
    p.setPen(QPen(kAccent, 1.5));
    p.drawPath(frame);

    const double h = all.height();
    const double gauge = h * 0.64;
    DrawGauge(p, QRectF(all.left() + h * 0.1, all.center().y() - gauge / 2, gauge, gauge));

    const double left = all.left() + h * 0.2 + gauge;
    const QRectF textBox(left, all.top() + h * 0.16, all.right() - left - h * 0.06, h * 0.68);
    QFont title(QStringLiteral("Noto Sans CJK KR"));
    title.setPixelSize(std::max(8, int(h * 0.19)));
    title.setWeight(QFont::Bold);
    p.setFont(title);
    p.setPen(kText);
    p.drawText(textBox, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("TONVALE"));

    QFont hint(QStringLiteral("Noto Sans CJK KR"));
    hint.setPixelSize(std::max(7, int(h * 0.14)));
    p.setFont(hint);
    p.setPen(QColor(190, 190, 196));
    p.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("압력 계측기"));
    p.setPen(kAccent);
    p.drawText(textBox, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("도움말 · F1"));
    p.end();
    return pm;
}

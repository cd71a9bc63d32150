#include "Features/Networks/ContentUnavailableView.hpp"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "Features/Networks/StyledLabel.hpp"

namespace ostrel {
namespace {

// Drawn rather than taken from the icon theme, so that it takes the palette's secondary colour
// in light and dark themes alike, and stays sharp at any scale.
class WifiSymbol final : public QWidget {
public:
    explicit WifiSymbol(QWidget* parent) : QWidget(parent) { setFixedSize(64, 50); }

protected:
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::PaletteChange) update();
        QWidget::changeEvent(event);
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor color = hierarchicalColor(palette(), Hierarchy::secondary);
        const QPointF centre(width() / 2.0, height() - 5.0);
        painter.setPen(QPen(color, 5, Qt::SolidLine, Qt::RoundCap));
        // Three arcs of 90 degrees opening upwards from the dot.
        for (const double radius : {14.0, 26.0, 38.0}) {
            painter.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 45 * 16, 90 * 16);
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(centre, 4, 4);
    }
};

}  // namespace

ContentUnavailableView::ContentUnavailableView(const QString& title, QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    layout->addStretch();
    layout->addWidget(new WifiSymbol(this), 0, Qt::AlignHCenter);
    auto* text = new StyledLabel(title, TextStyle::title2, Hierarchy::primary, this);
    text->setObjectName("title");
    text->setWeight(QFont::Bold);
    layout->addWidget(text, 0, Qt::AlignHCenter);
    layout->addStretch();
}

}  // namespace ostrel

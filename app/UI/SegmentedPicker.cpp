#include "UI/SegmentedPicker.hpp"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include "Model/Enums.hpp"
#include "UI/PlatformStyle.hpp"
#include "UI/StyledLabel.hpp"

namespace ostrel {
namespace {

constexpr int kInset = 2;
constexpr int kTextPadding = 12;

QString fromRaw(std::string_view raw) {
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
}

// One segment: bare text on the picker's face, or filled with the accent colour when chosen.
class SegmentButton final : public QAbstractButton {
public:
    SegmentButton(const QString& text, QWidget* parent) : QAbstractButton(parent) {
        setText(text);
        setCheckable(true);
        setFocusPolicy(Qt::TabFocus);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }

    QSize sizeHint() const override {
        const QFontMetrics metrics = fontMetrics();
        return {metrics.horizontalAdvance(text()) + 2 * kTextPadding, metrics.height() + 10};
    }
    QSize minimumSizeHint() const override {
        const QFontMetrics metrics = fontMetrics();
        return {metrics.horizontalAdvance(text()) + 2 * kInset + 6, metrics.height() + 10};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF face = QRectF(rect()).adjusted(kInset, kInset, -kInset, -kInset);
        QColor textColor = palette().color(QPalette::ButtonText);
        if (isChecked()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(accentColor(palette()));
            const double radius = SegmentedPicker::kCornerRadius - kInset;
            painter.drawRoundedRect(face, radius, radius);
            textColor = palette().color(QPalette::HighlightedText);
        } else if (isDown()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(hierarchicalColor(palette(), Hierarchy::quaternary));
            painter.drawRoundedRect(face, 4, 4);
        }
        painter.setPen(textColor);
        painter.drawText(rect(), Qt::AlignCenter,
                         fontMetrics().elidedText(text(), Qt::ElideRight, rect().width() - 2 * kInset));
        if (hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.rect = face.toRect();
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }
};

}  // namespace

SegmentedPicker::SegmentedPicker(const QString& title, const std::vector<Segment>& segments, QWidget* parent)
    : QWidget(parent),
      title_(new StyledLabel(title, TextStyle::body, Hierarchy::primary, this)),
      segments_(new QWidget(this)),
      group_(new QButtonGroup(this)) {
    setAccessibleName(title);
    title_->setObjectName("title");
    title_->hide();
    auto* row = new QHBoxLayout(segments_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (const Segment& segment : segments) {
        auto* button = new SegmentButton(segment.title, segments_);
        button->setObjectName(segment.name);
        button->installEventFilter(this);
        group_->addButton(button, group_->buttons().size());
        row->addWidget(button, 1);
    }
    group_->setExclusive(true);
    // A click checks its segment; the check goes back to the shown one at once, and the owner's
    // answer moves it.
    connect(group_, &QButtonGroup::idClicked, this, &SegmentedPicker::choose);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(title_);
    layout->addWidget(segments_, 1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setCurrentIndex(0);
}

std::vector<SegmentedPicker::Segment> SegmentedPicker::timeframeSegments() {
    std::vector<Segment> segments;
    for (const TimeframePreset preset : allTimeframePresets)
        segments.push_back({fromRaw(title(preset)), fromRaw(rawValue(preset))});
    return segments;
}

std::vector<SegmentedPicker::Segment> SegmentedPicker::displayModeSegments() {
    std::vector<Segment> segments;
    for (const MenuBarDisplayMode mode : allMenuBarDisplayModes)
        segments.push_back({fromRaw(title(mode)), fromRaw(rawValue(mode))});
    return segments;
}

void SegmentedPicker::setTitleVisible(bool visible) {
    title_->setVisible(visible);
}

void SegmentedPicker::setCurrentIndex(int index) {
    QAbstractButton* button = group_->button(index);
    if (button == nullptr) return;
    current_ = index;
    button->setChecked(true);
    update();
}

QAbstractButton* SegmentedPicker::segment(int index) const {
    return group_->button(index);
}

int SegmentedPicker::count() const {
    return static_cast<int>(group_->buttons().size());
}

void SegmentedPicker::choose(int index) {
    if (QAbstractButton* shown = group_->button(current_)) shown->setChecked(true);
    emit chosen(index);
}

bool SegmentedPicker::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const int step = key == Qt::Key_Left ? -1 : key == Qt::Key_Right ? 1 : 0;
        const int index = group_->id(static_cast<QAbstractButton*>(watched)) + step;
        if (step != 0 && index >= 0 && index < count()) {
            group_->button(index)->setFocus(Qt::TabFocusReason);
            choose(index);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SegmentedPicker::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

QRect SegmentedPicker::frameRect() const {
    return segments_->geometry();
}

void SegmentedPicker::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(frameRect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(hierarchicalColor(palette(), Hierarchy::quaternary), 1));
    painter.setBrush(palette().color(QPalette::Button));
    painter.drawRoundedRect(frame, kCornerRadius, kCornerRadius);
    // A thin divider between two segments of which neither is chosen.
    painter.setPen(QPen(hierarchicalColor(palette(), Hierarchy::quaternary), 1));
    for (int index = 1; index < count(); ++index) {
        if (index == current_ || index - 1 == current_) continue;
        const QRect left = group_->button(index)->geometry().translated(frameRect().topLeft());
        const double x = left.left() + 0.5;
        painter.drawLine(QPointF(x, frame.top() + 6), QPointF(x, frame.bottom() - 6));
    }
}

}  // namespace ostrel

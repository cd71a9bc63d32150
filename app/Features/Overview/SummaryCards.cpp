#include "Features/Overview/SummaryCards.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "Model/ScreenTexts.hpp"
#include "UI/SectionCard.hpp"
#include "UI/StyledLabel.hpp"

namespace ostrel {
namespace {

Tint levelTint(AlertLevel level) {
    switch (level) {
        case AlertLevel::normal:
            return StatusColor::green;
        case AlertLevel::warning:
            return StatusColor::orange;
        case AlertLevel::danger:
            return StatusColor::red;
    }
    return Hierarchy::primary;
}

QString text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

SummaryCards::SummaryCards(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    total_ = addCard(QStringLiteral("Total"), "totalCard");
    activeNetwork_ = addCard(QStringLiteral("Active Network"), "activeNetworkCard");
    alertStatus_ = addCard(QStringLiteral("Alert Status"), "alertStatusCard");
}

SummaryCards::Card SummaryCards::addCard(const QString& title, const char* name) {
    auto* lines = new QWidget;
    auto* linesLayout = new QVBoxLayout(lines);
    linesLayout->setContentsMargins(0, 0, 0, 0);
    linesLayout->setSpacing(2);
    Card card{nullptr, new StyledLabel(TextStyle::title3, Hierarchy::primary, lines),
              new StyledLabel(TextStyle::caption, Hierarchy::secondary, lines)};
    card.firstLine->setObjectName("firstLine");
    card.firstLine->setWeight(QFont::Bold);
    card.secondLine->setObjectName("secondLine");
    for (auto* line : {card.firstLine, card.secondLine}) {
        line->setElideMode(Qt::ElideRight);
        linesLayout->addWidget(line);
    }
    card.card = new SectionCard(title, lines, this);
    card.card->setObjectName(name);
    // The three share the width equally, whatever their lines hold.
    card.card->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    static_cast<QHBoxLayout*>(layout())->addWidget(card.card, 1, Qt::AlignVCenter);
    return card;
}

void SummaryCards::setSnapshot(const OverviewSnapshot& snapshot) {
    const UsageSummary& summary = snapshot.summary;
    total_.firstLine->setText(text(totalBytesText(summary.rxBytes, summary.txBytes)));
    total_.secondLine->setText(text(downloadUploadText(summary)));

    if (snapshot.activeNetwork) {
        activeNetwork_.firstLine->setName(*snapshot.activeNetwork);
    } else {
        activeNetwork_.firstLine->setPlainText(QStringLiteral("Unknown"));
    }
    activeNetwork_.secondLine->setName(snapshot.topAppToday.value_or("-"), QStringLiteral("Top app today: "));

    alertStatus_.firstLine->setText(text(alertLevelName(snapshot.threshold.level)));
    alertStatus_.firstLine->setTint(levelTint(snapshot.threshold.level));
    alertStatus_.secondLine->setText(text(warningAtText(snapshot.threshold.usageRatio)));
}

}  // namespace ostrel

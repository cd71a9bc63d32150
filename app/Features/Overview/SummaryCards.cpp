#include "Features/Overview/SummaryCards.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "Features/Overview/OverviewTexts.hpp"
#include "Features/Overview/StyledLabel.hpp"
#include "Model/SaturatingAdd.hpp"
#include "Model/TextFormat.hpp"
#include "UI/SectionCard.hpp"

namespace ostrel {
namespace {

QString bytesText(std::int64_t count) {
    return QString::fromStdString(byteString(count));
}

Tint levelTint(AlertLevel level) {
    switch (level) {
        case AlertLevel::normal:
            return Tint::green;
        case AlertLevel::warning:
            return Tint::orange;
        case AlertLevel::danger:
            return Tint::red;
    }
    return Tint::primary;
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
    Card card{nullptr, new StyledLabel({}, TextStyle::title3, Tint::primary, lines),
              new StyledLabel({}, TextStyle::caption, Tint::secondary, lines)};
    card.firstLine->setObjectName("firstLine");
    card.firstLine->setWeight(QFont::Bold);
    card.secondLine->setObjectName("secondLine");
    for (auto* line : {card.firstLine, card.secondLine}) {
        line->setElided(true);
        linesLayout->addWidget(line);
    }
    card.card = new SectionCard(title, lines, this);
    card.card->setObjectName(name);
    static_cast<QHBoxLayout*>(layout())->addWidget(card.card, 1, Qt::AlignVCenter);
    return card;
}

void SummaryCards::setSnapshot(const OverviewSnapshot& snapshot) {
    const UsageSummary& summary = snapshot.summary;
    total_.firstLine->setText(bytesText(saturatingAdd(summary.rxBytes, summary.txBytes)));
    total_.secondLine->setText(QStringLiteral("Download ") + bytesText(summary.rxBytes) + QStringLiteral(" • Upload ") +
                               bytesText(summary.txBytes));

    activeNetwork_.firstLine->setText(snapshot.activeNetwork ? QString::fromStdString(*snapshot.activeNetwork)
                                                             : QStringLiteral("Unknown"));
    activeNetwork_.secondLine->setText(
        QStringLiteral("Top app today: ") +
        (snapshot.topAppToday ? QString::fromStdString(*snapshot.topAppToday) : QStringLiteral("-")));

    alertStatus_.firstLine->setText(alertLevelName(snapshot.threshold.level));
    alertStatus_.firstLine->setTint(levelTint(snapshot.threshold.level));
    alertStatus_.secondLine->setText(warningAtText(snapshot.threshold.usageRatio));
}

}  // namespace ostrel

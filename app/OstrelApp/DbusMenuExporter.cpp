#include "OstrelApp/DbusMenuExporter.hpp"

#include <QAction>
#include <QEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMetaObject>

namespace ostrel {
namespace {

// dbusmenu marks the mnemonic with "_" where Qt uses "&".
QString dbusLabel(QString text) {
    text.replace(QLatin1Char('_'), QLatin1String("__"));
    QString label;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) {
            label += text[i + 1] == QLatin1Char('&') ? QLatin1Char('&') : QLatin1Char('_');
            if (text[i + 1] == QLatin1Char('&')) ++i;
            continue;
        }
        label += text[i];
    }
    return label;
}

// Each key combination as its modifiers' names followed by the key: Ctrl+Q is [["Control", "q"]].
QList<QStringList> dbusShortcut(const QKeySequence& sequence) {
    QList<QStringList> shortcut;
    for (int i = 0; i < sequence.count(); ++i) {
        const QKeyCombination combination = sequence[i];
        QStringList keys;
        const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
        if (modifiers & Qt::ControlModifier) keys << QStringLiteral("Control");
        if (modifiers & Qt::AltModifier) keys << QStringLiteral("Alt");
        if (modifiers & Qt::ShiftModifier) keys << QStringLiteral("Shift");
        if (modifiers & Qt::MetaModifier) keys << QStringLiteral("Super");
        keys << QKeySequence(combination.key()).toString(QKeySequence::PortableText).toLower();
        shortcut << keys;
    }
    return shortcut;
}

}  // namespace

DbusMenuExporter::DbusMenuExporter(QMenu* menu, QObject* object, std::function<void()> opening)
    : QDBusAbstractAdaptor(object), menu_(menu), opening_(std::move(opening)) {
    menu->installEventFilter(this);
}

bool DbusMenuExporter::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (watched == menu_ &&
        (type == QEvent::ActionAdded || type == QEvent::ActionRemoved || type == QEvent::ActionChanged)) {
        emit LayoutUpdated(++revision_, 0);
    }
    return false;
}

QAction* DbusMenuExporter::actionOf(int id) const {
    if (!menu_ || id < 1 || id > menu_->actions().size()) return nullptr;
    return menu_->actions().at(id - 1);
}

QVariantMap DbusMenuExporter::propertiesOf(int id, const QStringList& names) const {
    QVariantMap properties;
    if (id == 0) {
        properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    } else if (const QAction* action = actionOf(id)) {
        if (action->isSeparator()) {
            properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
        } else {
            properties.insert(QStringLiteral("label"), dbusLabel(action->text()));
            if (!action->shortcut().isEmpty()) {
                properties.insert(QStringLiteral("shortcut"), QVariant::fromValue(dbusShortcut(action->shortcut())));
            }
        }
        if (!action->isEnabled()) properties.insert(QStringLiteral("enabled"), false);
        if (!action->isVisible()) properties.insert(QStringLiteral("visible"), false);
    }
    if (names.isEmpty()) return properties;
    QVariantMap asked;
    for (const QString& name : names) {
        if (properties.contains(name)) asked.insert(name, properties.value(name));
    }
    return asked;
}

uint DbusMenuExporter::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                 DbusMenuLayout& layout) {
    layout = DbusMenuLayout{parentId, propertiesOf(parentId, propertyNames), {}};
    if (parentId == 0 && recursionDepth != 0 && menu_) {
        for (int id = 1; id <= menu_->actions().size(); ++id) {
            layout.children.append(DbusMenuLayout{id, propertiesOf(id, propertyNames), {}});
        }
    }
    return revision_;
}

DbusMenuItemList DbusMenuExporter::GetGroupProperties(const QList<int>& ids, const QStringList& propertyNames) {
    QList<int> wanted = ids;
    if (wanted.isEmpty() && menu_) {
        for (int id = 0; id <= menu_->actions().size(); ++id) wanted << id;
    }
    DbusMenuItemList items;
    for (const int id : wanted) {
        if (id == 0 || actionOf(id)) items.append(DbusMenuItem{id, propertiesOf(id, propertyNames)});
    }
    return items;
}

QDBusVariant DbusMenuExporter::GetProperty(int id, const QString& name) {
    return QDBusVariant(propertiesOf(id, {}).value(name));
}

void DbusMenuExporter::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    if (id == 0 && eventId == QLatin1String("opened") && opening_) opening_();
    QAction* action = actionOf(id);
    if (eventId != QLatin1String("clicked") || !action || !action->isEnabled()) return;
    QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
}

QList<int> DbusMenuExporter::EventGroup(const DbusMenuEventList& events) {
    QList<int> unknown;
    for (const DbusMenuEvent& event : events) {
        if (event.id != 0 && !actionOf(event.id)) {
            unknown << event.id;
            continue;
        }
        Event(event.id, event.eventId, event.data, event.timestamp);
    }
    return unknown;
}

bool DbusMenuExporter::AboutToShow(int id) {
    if (id == 0 && opening_) opening_();
    return false;
}

QList<int> DbusMenuExporter::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    if (ids.contains(0) && opening_) opening_();
    idErrors.clear();
    for (const int id : ids) {
        if (id != 0 && !actionOf(id)) idErrors << id;
    }
    return {};
}

}  // namespace ostrel

#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QIcon>

#include "OstrelApp/DbusTypes.hpp"
#include "OstrelApp/StatusItem.hpp"

namespace ostrel {

// Ostrel's own StatusNotifierItem with its dbusmenu: unlike Qt's, it carries the menu-bar text as
// the label (XAyatanaLabel) that AppIndicator hosts draw beside the icon, and it takes the click
// position the host gives.
class SniStatusItem final : public StatusItem {
    Q_OBJECT

public:
    static constexpr const char* itemPath = "/StatusNotifierItem";
    static constexpr const char* menuPath = "/MenuBar";

    // `iconThemePath` is a folder holding an icon theme with the icon named `iconName`.
    SniStatusItem(QDBusConnection bus, QString iconName, QString iconThemePath, QObject* parent = nullptr);
    ~SniStatusItem() override;

    void setIcon(const QIcon& icon) override;
    void setText(const QString& text) override;
    void setMenu(QMenu* menu) override;
    void show() override;
    QRect geometry() const override { return {}; }
    // Hosts draw the exported menu themselves, and ask the program only when they cannot.
    bool opensMenuItself() const override { return false; }

    // Read by the bus adaptor.
    QString iconName() const { return iconName_; }
    QString iconThemePath() const { return iconThemePath_; }
    const SniPixmapList& pixmaps() const { return pixmaps_; }
    const QString& text() const { return text_; }

signals:
    void iconChanged();
    void textChanged();

private:
    // Asks the watcher to list the item. A watcher that has its name but not yet its object
    // answers with an error: the call is tried again a few times, unless a newer watcher came.
    void registerWithWatcher(int attempt = 0);

    QDBusConnection bus_;
    QString iconName_;
    QString iconThemePath_;
    SniPixmapList pixmaps_;
    QString text_ = QStringLiteral("Ostrel");
    QObject* menuObject_ = nullptr;
    bool shown_ = false;
    unsigned watcherGeneration_ = 0;
};

// org.kde.StatusNotifierItem over a SniStatusItem.
class SniItemAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ iconThemePath)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(ostrel::SniPixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ none)
    Q_PROPERTY(ostrel::SniPixmapList OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ none)
    Q_PROPERTY(ostrel::SniPixmapList AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ none)
    Q_PROPERTY(ostrel::SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(QString XAyatanaLabel READ label)
    Q_PROPERTY(QString XAyatanaLabelGuide READ label)
    Q_PROPERTY(uint XAyatanaOrderingIndex READ orderingIndex)

public:
    explicit SniItemAdaptor(SniStatusItem* item);

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QStringLiteral("com.ostrel.Ostrel"); }
    // Hosts list their entries by title, so it stays the program's name; the text is the label.
    QString title() const { return QStringLiteral("Ostrel"); }
    QString label() const { return item_->text(); }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString iconThemePath() const { return item_->iconThemePath(); }
    QString iconName() const { return item_->iconName(); }
    SniPixmapList iconPixmap() const { return item_->pixmaps(); }
    QString none() const { return {}; }
    SniPixmapList noPixmaps() const { return {}; }
    SniToolTip toolTip() const { return {item_->iconName(), item_->pixmaps(), item_->text(), {}}; }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return QDBusObjectPath(SniStatusItem::menuPath); }
    uint orderingIndex() const { return 0; }

public slots:
    void Activate(int x, int y) { emit item_->activated(QPoint(x, y)); }
    void SecondaryActivate(int, int) {}
    void ContextMenu(int x, int y) { emit item_->contextMenuRequested(QPoint(x, y)); }
    void Scroll(int, const QString&) {}

signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);
    void XAyatanaNewLabel(const QString& label, const QString& guide);

private:
    SniStatusItem* item_;
};

}  // namespace ostrel

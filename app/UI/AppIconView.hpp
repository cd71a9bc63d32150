#pragma once

#include <QIcon>
#include <QWidget>
#include <optional>
#include <string>

namespace ostrel {

class AppIconLookup;

// An application's icon, 20 x 20 pixels with rounded corners; a grey rounded square with the
// "application" symbol when no icon is found. The icon is looked up when the view is first
// drawn after its application (or the icon theme) changed.
class AppIconView final : public QWidget {
    Q_OBJECT

public:
    AppIconView(std::string bundleID, std::optional<std::string> iconPath, QWidget* parent = nullptr);
    AppIconView(std::string bundleID, std::optional<std::string> iconPath, AppIconLookup& lookup,
                QWidget* parent = nullptr);

    const std::string& bundleID() const { return bundleID_; }
    const std::optional<std::string>& iconPath() const { return iconPath_; }
    void setApplication(std::string bundleID, std::optional<std::string> iconPath);

    QSize sizeHint() const override { return {kSize, kSize}; }

    static constexpr int kSize = 20;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void paintPlaceholder(QPainter& painter) const;

    AppIconLookup& lookup_;
    std::string bundleID_;
    std::optional<std::string> iconPath_;
    std::optional<QIcon> image_;  // looked up; a null icon when there is none
};

}  // namespace ostrel

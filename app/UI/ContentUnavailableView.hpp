#pragma once

#include <QWidget>

#include "UI/Symbols.hpp"

namespace ostrel {

class StyledLabel;

// What an empty column shows: a large symbol in the secondary style above a bold title, centred.
class ContentUnavailableView final : public QWidget {
    Q_OBJECT

public:
    ContentUnavailableView(const QString& title, Symbol symbol, QWidget* parent = nullptr);

    QString title() const;
    Symbol symbol() const;

    static constexpr int kSymbolSize = 48;

private:
    SymbolView* symbol_;
    StyledLabel* title_;
};

}  // namespace ostrel

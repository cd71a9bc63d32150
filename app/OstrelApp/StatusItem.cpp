#include "OstrelApp/StatusItem.hpp"

namespace ostrel {

StatusItem::~StatusItem() = default;

}  // namespace ostrel

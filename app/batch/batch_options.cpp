#include "app/batch/batch_options.h"

namespace gravlag {

void TypeOver(BatchOptions& options, const std::string& box, const std::string& text)
{
    for (auto& [typedBox, typedText] : options.typed)
        if (typedBox == box) {
            typedText = text;
            return;
        }
    options.typed.emplace_back(box, text);
}

} // namespace gravlag

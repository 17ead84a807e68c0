#include "ui/number_edit_rule.h"

#include <string>

void NumberEditRule::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    lastValid_ = minimum;
}

NumberEditRule::Outcome NumberEditRule::refuse() {
    Outcome out;
    out.text = lastValid_ < 0 ? std::string() : std::to_string(lastValid_);
    out.rewritten = true;
    out.beep = true;
    return out;
}

NumberEditRule::Outcome NumberEditRule::update(const std::string& typed) {
    if (typed.find_first_not_of("0123456789") != std::string::npos) return refuse();
    Outcome out;
    out.text = typed;
    if (typed.size() > 1) {
        const std::size_t first = typed.find_first_of("123456789");
        out.text = first == std::string::npos ? std::string("0") : typed.substr(first);
        if (out.text != typed) {
            out.rewritten = true;
            out.caretAtStart = true;
        }
    }
    if (out.text.empty()) {
        lastValid_ = -1;
        return out;
    }
    // Ten digits may already pass the int range: anything longer than nine is refused
    // before it is read.
    constexpr std::size_t kMaxDigits = 9;
    if (out.text.size() > kMaxDigits) return refuse();
    const int value = std::stoi(out.text);
    if (value < minimum_ || value > maximum_) return refuse();
    lastValid_ = value;
    return out;
}

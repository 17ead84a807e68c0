#pragma once
#include <string>
#include <vector>

#include "kd_window.h"

// Recording doubles of the two camera libraries for the dispatcher's call tables.
// Every call is logged as its library's function name with its arguments, e.g.
// "OstraIICameraSetGain(65,66,67)"; windows show as w1, w2 or null.
//
// Every double returns `result`. Getters write only when `result` is 1, as the real
// libraries do, and then report:
//   first family:  frame speed 5, data wide 1, AWB state 1, gains 70/80/90, gamma 12,
//                  contrast 3, saturation 99, AE state 1, analogue gain 33, exposure
//                  1500 ms, row time 123.5 us, long-exposure power 1, size 1516 x 1008
//   second family: frame speed 2, AE state 1, exposure 199.9 ms, analogue gain 21,
//                  gains 60/61/62, gamma 9, contrast 4, saturation 150, size 1272 x 952,
//                  ranges: exposure 0.1/3600000/200, analogue gain 1/63/16, contrast
//                  2/100/50, gamma 3/250/100, saturation 4/255/128, gain 5/512/64
namespace dispatch_fakes {

struct State {
    std::vector<std::string> calls;
    int result = 1;
    float nimbusExposure = 199.9f;
    unsigned char ostraFrameSpeed = 5;
};
extern State fake;

extern KdWindow window1;
extern KdWindow window2;

// Puts the doubles in place of both libraries (and clears the log); restore() puts the
// libraries back.
void install();
void restore();

}  // namespace dispatch_fakes

#pragma once
// The page's side of the web window services: functions of web_page.js, called from C++.
// Ids are the services' own numbers for windows and controls; texts are UTF-8, passed with
// their length; pixels are RGBA rows in the module's memory.

#include <cstdint>

extern "C" {
void gravlag_dom_window(int window, const char* name, int nameLength, const char* caption,
                        int captionLength);
// Outer position in page pixels, inner size in pixels (the canvas follows it).
void gravlag_dom_window_geometry(int window, int left, int top, int innerWidth, int innerHeight);
void gravlag_dom_window_visible(int window, int visible);
void gravlag_dom_paint(int window, const std::uint8_t* rgba, int width, int height);
// kind: 0 text box, 1 label, 2 button.
void gravlag_dom_control(int window, int control, int kind, const char* name, int nameLength,
                         int left, int top, int width, int height, int tabIndex);
void gravlag_dom_control_text(int control, const char* text, int length);
void gravlag_dom_control_place(int control, int left, int top, int visible);
void gravlag_dom_control_colors(int control, int textRgb, int backgroundRgb);
void gravlag_dom_program_ended();
// The oldest input the page queued: 0 none, 1 click, 2 typing, 3 close request. Its subject
// (a control, or a window for a close request) and, for typing, the text typed come after.
int gravlag_dom_next_event();
int gravlag_dom_event_subject();
int gravlag_dom_event_text_length();
void gravlag_dom_event_text(char* buffer, int capacity);
// Milliseconds, monotonic.
double gravlag_dom_now();
// Lets the browser run (paint, take input) and comes back: the caller's stack is unwound and
// rewound around it (asyncify).
void gravlag_dom_yield();
}

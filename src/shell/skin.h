#pragma once

// The window's theme. Start-up picks and applies it; the exit tick releases it. It does nothing else.
class Skin
{
public:
    void selectTheme(short theme);    // start-up, with 4
    void setColourScheme(int scheme); // start-up, with 4
    void apply();                     // start-up: the theme becomes the application's look
    void release();                   // exit tick

private:
    short m_theme = 0;
    int m_scheme = 0;
};

// Scratch backend pieces.
int korvex_headless_anchor = 0;

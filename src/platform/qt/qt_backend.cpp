int korvex_qt_backend_anchor = 0;

// The Qt printer: the system's print queues (through QPrinterInfo) plus a
// "Print to PDF" entry, printed with QPrinter and QPainter; QPrintDialog for
// the printer set-up and print dialogs.
//
// A document goes to a PDF file when the "Print to PDF" entry is the
// current printer or when OutputFileName is set; without a file name the
// PDF entry writes "<Title or print>.pdf" in the user's documents folder.
// Qt renders every font itself, so Fonts() lists no printer-resident fonts.
#pragma once

extern const char* const kPrintToPdfName;  // "Print to PDF"

void InstallQtPrinterBackend();

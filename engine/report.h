// The one way the program shows a message: every outcome goes through showReport.
#ifndef PELLMARK_REPORT_H
#define PELLMARK_REPORT_H

enum ReportIcon {
    IconError = 1,
    IconWarning = 2,
    IconInfo = 3
};

// owner is the main dialog's window handle, or null for a box without owner.
// Shows a box with a single OK button and waits for it.
void showReport(void *owner, const char *text, const char *caption, int icon);

#endif

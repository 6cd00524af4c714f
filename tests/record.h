// Records every message the program would show, instead of showing it.
#ifndef PELLMARK_RECORD_H
#define PELLMARK_RECORD_H

#include <string>
#include <vector>

struct MessageReport {
    void *owner;
    std::string text;
    std::string caption;
    int icon;
};

bool operator==(const MessageReport &a, const MessageReport &b);
void PrintTo(const MessageReport &r, std::ostream *os);

// Every report since the last clearReports(), oldest first.
extern std::vector<MessageReport> reports;
// Called while a report "is shown", to look at the world as the user would then.
extern void (*reportHook)(const MessageReport &r);

void clearReports();

#endif

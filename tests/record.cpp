#include <ostream>

#include "record.h"
#include "report.h"

std::vector<MessageReport> reports;
void (*reportHook)(const MessageReport &r) = nullptr;

bool operator==(const MessageReport &a, const MessageReport &b)
{
    return a.owner == b.owner && a.text == b.text && a.caption == b.caption && a.icon == b.icon;
}

void PrintTo(const MessageReport &r, std::ostream *os)
{
    *os << "{owner " << r.owner << ", \"" << r.text << "\", \"" << r.caption << "\", icon " << r.icon << "}";
}

void clearReports()
{
    reports.clear();
    reportHook = nullptr;
}

void showReport(void *owner, const char *text, const char *caption, int icon)
{
    MessageReport r = {owner, text, caption, icon};
    reports.push_back(r);
    if (reportHook != nullptr)
        reportHook(r);
}

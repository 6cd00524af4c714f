#include <windows.h>
#include <oleacc.h>

#include "access.h"
#include "resource.h"
#include "syslibs.h"

// A button's name is its text: "..." twice, and "Windows", "Unix", "Mac" on both sides. Each
// name begins with what the control shows, where that can be said, as voice control users
// say it. The path boxes are named by labels that are not drawn (in the dialog's template).
static const struct {
    int id;
    const wchar_t *name;
} names[] = {
    {IDC_INPUT_BROWSE, L"Browse for the input file"},
    {IDC_IN_WINDOWS, L"Windows, input format"},
    {IDC_IN_UNIX, L"Unix, input format"},
    {IDC_IN_MAC, L"Mac, input format"},
    {IDC_OUTPUT_BROWSE, L"Browse for the output file"},
    {IDC_OUT_WINDOWS, L"Windows, output format"},
    {IDC_OUT_UNIX, L"Unix, output format"},
    {IDC_OUT_MAC, L"Mac, output format"},
};

// The annotation service, or null where there is none (Windows 2000 without the Active
// Accessibility redistributable).
static IAccPropServices *annotations(void)
{
    IAccPropServices *svc = NULL;
    if (oleacc == NULL || coCreateInstance == NULL ||
        FAILED(coCreateInstance(CLSID_AccPropServices, NULL, CLSCTX_INPROC_SERVER, IID_IAccPropServices, (void **)&svc)))
        return NULL;
    return svc;
}

void nameControls(HWND dlg)
{
    IAccPropServices *svc = annotations();
    if (svc == NULL)
        return;
    // Each stays the name of its text where the service answers that it cannot (Wine).
    for (const auto &n : names)
        svc->SetHwndPropStr(GetDlgItem(dlg, n.id), OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_NAME, n.name);
    svc->Release();
}

void unnameControls(HWND dlg)
{
    IAccPropServices *svc = annotations();
    if (svc == NULL)
        return;
    MSAAPROPID name = PROPID_ACC_NAME;
    for (const auto &n : names)
        svc->ClearHwndProps(GetDlgItem(dlg, n.id), OBJID_CLIENT, CHILDID_SELF, &name, 1);
    svc->Release();
}

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

// The ids oleacc.h declares; taken from the uuid library, they would bring thousands more.
static const CLSID annotationClass = {0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
static const IID annotationIface = {0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
static const MSAAPROPID nameProp = {0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};

// The annotation service, or null where there is none (Windows 2000 without the Active
// Accessibility redistributable).
static IAccPropServices *annotations(void)
{
    IAccPropServices *svc = NULL;
    if (oleacc == NULL || coCreateInstance == NULL ||
        FAILED(coCreateInstance(annotationClass, NULL, CLSCTX_INPROC_SERVER, annotationIface, (void **)&svc)))
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
        svc->SetHwndPropStr(GetDlgItem(dlg, n.id), OBJID_CLIENT, CHILDID_SELF, nameProp, n.name);
    svc->Release();
}

void unnameControls(HWND dlg)
{
    IAccPropServices *svc = annotations();
    if (svc == NULL)
        return;
    for (const auto &n : names)
        svc->ClearHwndProps(GetDlgItem(dlg, n.id), OBJID_CLIENT, CHILDID_SELF, &nameProp, 1);
    svc->Release();
}

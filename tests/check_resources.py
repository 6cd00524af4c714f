#!/usr/bin/python3
"""Reads the resources and headers back out of the shipped Pellmark.exe and checks
them against what the program is meant to carry; with the file as linked, also that the
shipped one is that file less its symbols.

usage: check_resources.py SHIPPED.EXE i686|x86_64 [LINKED.EXE]
"""
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

import pefile

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24
LANG_EN_US = 1033

WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CAPTION, WS_BORDER, WS_SYSMENU = 0x00C00000, 0x00800000, 0x00080000
WS_GROUP, WS_TABSTOP, WS_MINIMIZEBOX = 0x00020000, 0x00010000, 0x00020000
DS_MODALFRAME, DS_SETFONT, DS_CENTER = 0x80, 0x40, 0x800
BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_GROUPBOX, BS_AUTORADIOBUTTON = 0, 1, 7, 9
ES_AUTOHSCROLL, SS_LEFT, SS_CENTER = 0x80, 0, 1
KID = WS_CHILD | WS_VISIBLE
NONE = 0xFFFF

MAIN_DIALOG = {
    'style': WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_CENTER | DS_SETFONT,
    'rect': (0, 0, 146, 132), 'caption': 'Pellmark', 'font': (8, 'MS Sans Serif'),
    'items': [
        (NONE, 'Button', 'Input File', KID | BS_GROUPBOX | WS_GROUP, (8, 4, 130, 50)),
        # Never shown: the path box's name for a screen reader.
        (NONE, 'Static', 'Input file', WS_CHILD | SS_LEFT, (14, 14, 104, 11)),
        (511, 'Edit', '', KID | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, (14, 14, 104, 11)),
        (521, 'Button', '...', KID | BS_PUSHBUTTON | WS_TABSTOP, (120, 14, 12, 10)),
        (NONE, 'Static', 'File Format:', KID | SS_LEFT | WS_GROUP, (14, 30, 44, 8)),
        (522, 'Button', 'Windows', KID | BS_AUTORADIOBUTTON, (14, 42, 42, 8)),
        (523, 'Button', 'Unix', KID | BS_AUTORADIOBUTTON, (60, 42, 28, 8)),
        (524, 'Button', 'Mac', KID | BS_AUTORADIOBUTTON, (90, 42, 28, 8)),
        (NONE, 'Button', 'Output File', KID | BS_GROUPBOX | WS_GROUP, (8, 58, 130, 50)),
        (NONE, 'Static', 'Output file', WS_CHILD | SS_LEFT, (14, 68, 104, 11)),
        (512, 'Edit', '', KID | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, (14, 68, 104, 11)),
        (525, 'Button', '...', KID | BS_PUSHBUTTON | WS_TABSTOP, (120, 68, 12, 10)),
        (NONE, 'Static', 'File Format:', KID | SS_LEFT | WS_GROUP, (14, 84, 44, 8)),
        (526, 'Button', 'Windows', KID | BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, (14, 96, 42, 8)),
        (527, 'Button', 'Unix', KID | BS_AUTORADIOBUTTON, (60, 96, 28, 8)),
        (528, 'Button', 'Mac', KID | BS_AUTORADIOBUTTON, (90, 96, 28, 8)),
        (529, 'Button', '&Convert', KID | BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, (9, 114, 36, 12)),
        (530, 'Button', '&About', KID | BS_PUSHBUTTON | WS_TABSTOP, (55, 114, 36, 12)),
        (531, 'Button', 'E&xit', KID | BS_PUSHBUTTON | WS_TABSTOP, (101, 114, 36, 12)),
    ],
}

ABOUT_DIALOG = {
    'style': WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT,
    'rect': (0, 0, 174, 75), 'caption': 'About This Program', 'font': (8, 'MS Sans Serif'),
    'items': [
        (1, 'Button', '&OK', KID | BS_DEFPUSHBUTTON | WS_TABSTOP, (65, 47, 50, 14)),
        (NONE, 'Button', 'About this program...', KID | BS_GROUPBOX, (7, 7, 160, 61)),
        # The credits are free; their shape is checked below.
        (NONE, 'Static', None, KID | SS_CENTER | WS_GROUP, (16, 18, 144, 25)),
    ],
}

VERSION_STRINGS = [
    ('CompanyName', 'Dravane Software'),
    ('FileVersion', '1.1'),
    ('FileDescription', 'Pellmark Executable'),
    ('InternalName', 'Pellmark'),
    ('LegalCopyright', None),
    ('OriginalFilename', 'Pellmark.exe'),
    ('ProductName', 'Pellmark'),
    ('ProductVersion', '1.1'),
]

CLASS_ORDINALS = {0x80: 'Button', 0x81: 'Edit', 0x82: 'Static', 0x83: 'ListBox', 0x84: 'ScrollBar', 0x85: 'ComboBox'}
# What the loader takes before the program runs must come from the system folder, whatever
# lies beside Pellmark.exe: DLLs on the system's list of known DLLs (the KnownDLLs key of
# Session Manager, Windows 7 to 11). Everything else is loaded at run time, from there only.
KNOWN_DLLS = {'KERNEL32.DLL', 'USER32.DLL', 'GDI32.DLL', 'MSVCRT.DLL', 'ADVAPI32.DLL'}

# The released program is for Windows 2000 and later: subsystem 4.0, and only functions that
# Windows 2000 has. All but ReplaceFileW are in NT 4.0 with the common controls of Internet
# Explorer 4; paths go through the W functions, which Windows 98 lacks. Add a function here
# only after checking the first Windows that has it.
OLD_WINDOWS_IMPORTS = {
    'GDI32.DLL': {'CreateFontIndirectW', 'DeleteObject', 'GetObjectW', 'GetTextMetricsW', 'SelectObject'},
    'KERNEL32.DLL': {
        'CloseHandle', 'CreateFileW', 'DeleteCriticalSection', 'DeleteFileW', 'EnterCriticalSection',
        'FlushFileBuffers', 'FreeLibrary', 'GetCommandLineW', 'GetCurrentProcessId', 'GetFileAttributesW',
        'GetFileInformationByHandle', 'GetFileSize', 'GetFileType', 'GetFullPathNameW', 'GetLastError',
        'GetModuleFileNameW', 'GetModuleHandleA', 'GetModuleHandleW', 'GetProcAddress', 'GetStartupInfoA',
        'GetSystemDirectoryW', 'GetTickCount', 'InitializeCriticalSection', 'LeaveCriticalSection', 'LoadLibraryA',
        'LoadLibraryExW', 'LoadLibraryW', 'LocalFree', 'lstrcatW', 'lstrcmpiW', 'lstrcpynW', 'lstrcpyW', 'lstrlenW',
        'MoveFileW',
        'ReadFile', 'ReplaceFileW', 'SetLastError',
        'SetUnhandledExceptionFilter', 'Sleep', 'TlsGetValue', 'VirtualProtect', 'VirtualQuery',
        'WriteFile'},
    'MSVCRT.DLL': {
        '__getmainargs', '__initenv', '__p__acmdln', '__p__commode', '__p__fmode', '__set_app_type',
        '__setusermatherr', '_amsg_exit', '_cexit', '_initterm', '_iob', '_onexit', 'abort', 'calloc',
        'exit', 'fprintf', 'free', 'fwrite', 'malloc', 'memcpy', 'signal', 'strlen', 'strncmp', 'vfprintf',
        'wcscat', 'wcschr', 'wcscpy', 'wcsncmp', 'wcsrchr'},
    'USER32.DLL': {
        'CheckRadioButton', 'DialogBoxParamW', 'EnableWindow', 'EndDialog', 'GetDlgItem', 'LoadImageA',
        'MessageBoxA', 'RemovePropW', 'SendDlgItemMessageW', 'SendMessageA', 'SendMessageW', 'SetPropW',
        'DestroyIcon', 'GetClientRect', 'GetDC', 'GetPropW', 'GetSystemMetrics', 'GetWindowLongW', 'GetWindowRect',
        'IsWindowEnabled', 'MapWindowPoints', 'SetWindowLongW',
        'PostMessageW', 'PtInRect', 'ReleaseDC'},
}

failures = []
checks = 0


def check(what, actual, expected):
    global checks
    checks += 1
    if actual != expected:
        failures.append('%s: got %r, expected %r' % (what, actual, expected))


class Reader:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def word(self):
        v, = struct.unpack_from('<H', self.data, self.pos)
        self.pos += 2
        return v

    def dword(self):
        v, = struct.unpack_from('<I', self.data, self.pos)
        self.pos += 4
        return v

    def short(self):
        v, = struct.unpack_from('<h', self.data, self.pos)
        self.pos += 2
        return v

    def string(self):
        end = self.pos
        while self.data[end:end + 2] != b'\0\0':
            end += 2
        s = self.data[self.pos:end].decode('utf-16-le')
        self.pos = end + 2
        return s

    def sz_or_ord(self):
        first, = struct.unpack_from('<H', self.data, self.pos)
        if first == 0:
            self.pos += 2
            return None
        if first == 0xFFFF:
            self.pos += 2
            return ('ord', self.word())
        return self.string()

    def align(self):
        self.pos = (self.pos + 3) & ~3


def parse_dialog(data):
    r = Reader(data)
    head, = struct.unpack_from('<I', data, 0)
    if head == 0xFFFF0001:
        return {'extended': True}
    d = {'extended': False, 'style': r.dword(), 'exstyle': r.dword()}
    count = r.word()
    d['rect'] = (r.short(), r.short(), r.short(), r.short())
    d['menu'], d['class'], d['caption'] = r.sz_or_ord(), r.sz_or_ord(), r.string()
    d['font'] = (r.word(), r.string()) if d['style'] & DS_SETFONT else None
    items = []
    for _ in range(count):
        r.align()
        style, exstyle = r.dword(), r.dword()
        rect = (r.short(), r.short(), r.short(), r.short())
        ident = r.word()
        cls = r.sz_or_ord()
        if isinstance(cls, tuple):
            cls = CLASS_ORDINALS.get(cls[1], cls)
        title = r.sz_or_ord()
        extra = r.word()
        r.pos += extra
        items.append({'id': ident, 'class': cls, 'text': title if title is not None else '',
                      'style': style, 'exstyle': exstyle, 'rect': rect})
    d['items'] = items
    return d


def check_dialog(name, d, want):
    check(name + ' is a classic template', d['extended'], False)
    if d['extended']:
        return
    check(name + ' style', hex(d['style']), hex(want['style']))
    check(name + ' exstyle', d['exstyle'], 0)
    check(name + ' rectangle', d['rect'], want['rect'])
    check(name + ' menu', d['menu'], None)
    check(name + ' class', d['class'], None)
    check(name + ' caption', d['caption'], want['caption'])
    check(name + ' font', d['font'], want['font'])
    check(name + ' control count', len(d['items']), len(want['items']))
    for i, (got, (ident, cls, text, style, rect)) in enumerate(zip(d['items'], want['items'])):
        where = '%s control %d' % (name, i)
        check(where + ' id', got['id'], ident)
        check(where + ' class', str(got['class']).lower(), cls.lower())
        if text is not None:
            check(where + ' text', got['text'], text)
        check(where + ' style', hex(got['style']), hex(style))
        check(where + ' exstyle', got['exstyle'], 0)
        check(where + ' rectangle', got['rect'], rect)


def resources(pe):
    """{type: {name: [(lang, bytes)]}}"""
    out = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for l in n.directory.entries:
                data = pe.get_data(l.data.struct.OffsetToData, l.data.struct.Size)
                key = n.id if n.id is not None else str(n.name)
                tkey = t.id if t.id is not None else str(t.name)
                out.setdefault(tkey, {}).setdefault(key, []).append((l.id, data))
    return out


def check_icons(res):
    groups = res.get(RT_GROUP_ICON, {})
    check('icon groups', sorted(groups), [101])
    if 101 not in groups:
        return
    data = groups[101][0][1]
    reserved, kind, count = struct.unpack_from('<HHH', data, 0)
    check('icon group header', (reserved, kind), (0, 1))
    entries = [struct.unpack_from('<BBBBHHIH', data, 6 + 14 * i) for i in range(count)]
    # 32-bit with alpha at every size Windows shows at 100 to 200%, 256 for Explorer's views;
    # 8-bit for Windows 2000 and XP at 256 colours.
    check('icon images', [(e[0] or 256, e[5]) for e in entries],
          [(s, 32) for s in (256, 64, 48, 40, 32, 24, 20, 16)] + [(48, 8), (32, 8), (16, 8)])
    for w, h, _, _, _, bits, size, ident in entries:
        img = res.get(RT_ICON, {}).get(ident)
        check('icon %d exists' % ident, img is not None, True)
        if img:
            raw = img[0][1]
            check('icon %d size' % ident, len(raw), size)
            if raw.startswith(b'\x89PNG\r\n\x1a\n'):
                # As Vista and later read it: a PNG of 8-bit RGBA.
                check('icon %d PNG' % ident, struct.unpack_from('>IIBB', raw, 16), (w or 256, h or 256, 8, 6))
            else:
                hdr = struct.unpack_from('<IiiHH', raw, 0)
                check('icon %d bitmap' % ident, (hdr[1], hdr[2], hdr[4]), (w or 256, 2 * (h or 256), bits))
    check('icon images stored', len(res.get(RT_ICON, {})), 11)


def check_manifest(res, arch):
    mans = res.get(RT_MANIFEST, {})
    check('manifests', sorted(mans), [1])
    if 1 not in mans:
        return
    raw = mans[1][0][1]
    check('manifest declaration', raw.split(b'?>')[0] + b'?>',
          b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>')
    ns = '{urn:schemas-microsoft-com:asm.v1}'
    root = ET.fromstring(raw)
    check('manifest root', root.tag, ns + 'assembly')
    check('manifest version', root.get('manifestVersion'), '1.0')
    ident = root.find(ns + 'assemblyIdentity')
    check('program identity', dict(ident.attrib) if ident is not None else None,
          {'version': '1.0.0.0', 'processorArchitecture': arch, 'name': 'Dravane.Sorvilex.Sorvilex', 'type': 'win32'})
    desc = root.find(ns + 'description')
    check('description', desc.text if desc is not None else None, 'Win-Unix Pellmark')
    deps = root.findall(ns + 'dependency/' + ns + 'dependentAssembly/' + ns + 'assemblyIdentity')
    check('dependencies', len(deps), 1)
    if deps:
        check('common controls dependency', dict(deps[0].attrib),
              {'type': 'win32', 'name': 'Microsoft.Windows.Common-Controls', 'version': '6.0.0.0',
               'processorArchitecture': arch, 'publicKeyToken': '6595b64144ccf1df', 'language': '*'})
    # Windows' own reading of the program: run as the user (no virtualized writes), and the
    # systems it was made for.
    v3, compat = '{urn:schemas-microsoft-com:asm.v3}', '{urn:schemas-microsoft-com:compatibility.v1}'
    levels = root.findall('/'.join(v3 + t for t in
                                   ('trustInfo', 'security', 'requestedPrivileges', 'requestedExecutionLevel')))
    check('requested execution level', [dict(l.attrib) for l in levels], [{'level': 'asInvoker', 'uiAccess': 'false'}])
    # Sharp at any scale: per-monitor v2 where Windows has it, else the system's scale.
    smi = '{http://schemas.microsoft.com/SMI/%s/WindowsSettings}'
    settings = v3 + 'application/' + v3 + 'windowsSettings/'
    check('DPI awareness', [(e.tag, e.text) for e in root.findall(settings + '*')],
          [(smi % '2005' + 'dpiAware', 'true'), (smi % '2016' + 'dpiAwareness', 'PerMonitorV2, System')])
    systems = root.findall(compat + 'compatibility/' + compat + 'application/' + compat + 'supportedOS')
    check('supported systems', [o.get('Id') for o in systems], [
        '{e2011457-1546-43c5-a5fe-008deee3d3f0}',  # Vista
        '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}',  # 7
        '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}',  # 8
        '{1f676c76-80e1-4239-95bb-83d0f6d0da78}',  # 8.1
        '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}',  # 10 and 11
    ])


def check_version(pe, res):
    check('version resources', sorted(res.get(RT_VERSION, {})), [1])
    if not hasattr(pe, 'VS_FIXEDFILEINFO'):
        check('version resource parsed', False, True)
        return
    f = pe.VS_FIXEDFILEINFO[0]
    check('fixed part', (hex(f.Signature), f.FileVersionMS, f.FileVersionLS, f.ProductVersionMS, f.ProductVersionLS),
          ('0xfeef04bd', 0x00010001, 0, 0x00010001, 0))
    check('file flags mask', f.FileFlagsMask, 0)
    check('file flags', f.FileFlags, 0)
    check('file OS', hex(f.FileOS), hex(0x40000))
    check('file type', f.FileType, 1)
    check('file subtype', f.FileSubtype, 0)
    check('file date', (f.FileDateMS, f.FileDateLS), (0, 0))
    tables, translations = [], []
    for info in pe.FileInfo[0]:
        if info.Key == b'StringFileInfo':
            tables += info.StringTable
        elif info.Key == b'VarFileInfo':
            translations += [v.entry for v in info.Var]
    check('string tables', [t.LangID.decode() for t in tables], ['040904E4'])
    if tables:
        got = [(k.decode(), v.decode()) for k, v in tables[0].entries.items()]
        check('string keys in order', [k for k, _ in got], [k for k, _ in VERSION_STRINGS])
        for (k, v), (wk, wv) in zip(got, VERSION_STRINGS):
            if wv is not None:
                check('string ' + wk, v, wv)
            else:
                check('string %s is filled in' % wk, v != '', True)
    check('translation', translations, [{b'Translation': '0x0409 0x04e4'}])


# Any instruction of SSE or later: an xmm register, or one of the few that name none.
SSE_INSN = re.compile(r'xmm|mxcsr|[lsm]fence|clflush|movnti|maskmovq|prefetch')


def sse_places(path):
    """Where the i686 program has SSE instructions: {section: [the first few addresses]}.
    The block kernels, which run only after the processor said it has SSE2, are compiled
    into .blocks; no other section may have any."""
    dis = subprocess.run(['i686-w64-mingw32-objdump', '-d', '--no-show-raw-insn', path],
                         capture_output=True, text=True, check=True).stdout
    where, places = None, {}
    for line in dis.splitlines():
        section = re.match(r'^Disassembly of section (\S+):$', line)
        if section:
            where = section.group(1)
            continue
        insn = re.match(r'^ *([0-9a-f]+):\t(.*)$', line)
        if insn and SSE_INSN.search(insn.group(2)):
            places.setdefault(where, []).append(insn.group(1))
    return places


def imports(pe):
    """{DLL: {function}} of the import table."""
    out = {}
    for e in pe.DIRECTORY_ENTRY_IMPORT:
        names = {i.name.decode() if i.name else '#%d' % i.ordinal for i in e.imports}
        out.setdefault(e.dll.decode().upper(), set()).update(names)
    return out


def loaded(pe):
    """What the loader sees: the headers' fields that matter and every section but debug data."""
    o = pe.OPTIONAL_HEADER
    # Stripping may set the flags that say symbols and line numbers are gone (4, 8).
    head = (pe.FILE_HEADER.Machine, pe.FILE_HEADER.Characteristics & ~0xC, pe.FILE_HEADER.TimeDateStamp,
            o.AddressOfEntryPoint, o.ImageBase, o.SectionAlignment, o.Subsystem, o.DllCharacteristics,
            o.MajorSubsystemVersion, o.MinorSubsystemVersion, o.MajorOperatingSystemVersion,
            o.SizeOfStackReserve, o.SizeOfHeapReserve,
            [(d.VirtualAddress, d.Size) for d in o.DATA_DIRECTORY])
    sections = [(s.Name.rstrip(b'\0'), s.VirtualAddress, s.Misc_VirtualSize, s.Characteristics,
                 s.get_data()[:s.Misc_VirtualSize])
                for s in pe.sections if not s.Name.startswith((b'.debug', b'.gnu_debuglink', b'/'))]
    return head, sections


def main():
    path, target = sys.argv[1], sys.argv[2]
    linked = sys.argv[3] if len(sys.argv) > 3 else None
    pe = pefile.PE(path)
    machine = {'i686': 0x14C, 'x86_64': 0x8664}[target]
    check('machine', hex(pe.FILE_HEADER.Machine), hex(machine))
    check('GUI subsystem', pe.OPTIONAL_HEADER.Subsystem, 2)
    large = bool(pe.FILE_HEADER.Characteristics & 0x20)
    if linked:
        lpe = pefile.PE(linked)
        check('shipped file is the linked one less its symbols', loaded(pe) == loaded(lpe), True)
        check('shipped file has no symbols', pe.FILE_HEADER.NumberOfSymbols, 0)
        check('shipped file has no debug data', [s.Name for s in pe.sections if s.Name.startswith(b'.debug')], [])
    if target == 'i686':
        check('large address aware', large, True)
        places = sse_places(path)
        check('SSE only in the dispatched block kernels',
              {k: v[:3] for k, v in places.items() if k != '.blocks'}, {})
        check('the block kernels are there', len(places.get('.blocks', [])) > 0, True)
        check('subsystem version', (pe.OPTIONAL_HEADER.MajorSubsystemVersion, pe.OPTIONAL_HEADER.MinorSubsystemVersion), (4, 0))
        check('OS version', (pe.OPTIONAL_HEADER.MajorOperatingSystemVersion, pe.OPTIONAL_HEADER.MinorOperatingSystemVersion), (4, 0))
        got = imports(pe)
        newer = sorted('%s!%s' % (d, f) for d in got for f in got[d] - OLD_WINDOWS_IMPORTS.get(d, set()))
        check('imports that Windows 2000 lacks', newer, [])
    dlls = {e.dll.decode().upper() for e in pe.DIRECTORY_ENTRY_IMPORT}
    check('only known DLLs imported', sorted(dlls - KNOWN_DLLS), [])

    res = resources(pe)
    check('resource types', sorted(k for k in res), sorted([RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST]))
    for tkey, names in res.items():
        for nkey, langs in names.items():
            check('language of %s/%s' % (tkey, nkey), [l for l, _ in langs], [LANG_EN_US])

    dialogs = res.get(RT_DIALOG, {})
    check('dialogs', sorted(dialogs), [201, 202])
    if 201 in dialogs:
        check_dialog('main dialog', parse_dialog(dialogs[201][0][1]), MAIN_DIALOG)
    if 202 in dialogs:
        about = parse_dialog(dialogs[202][0][1])
        check_dialog('About box', about, ABOUT_DIALOG)
        if not about['extended'] and len(about['items']) == 3:
            lines = about['items'][2]['text'].split('\r\n')
            check('About text: three lines', len(lines), 3)
            check('About text: the name first', lines[0], 'Pellmark')
            check('About text: no empty credit line', all(lines), True)

    check_icons(res)
    check_manifest(res, 'X86' if target == 'i686' else 'amd64')
    check_version(pe, res)

    for f in failures:
        print('FAIL ' + f)
    print('%s (%s): %d checks, %d failed' % (path, target, checks, len(failures)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())

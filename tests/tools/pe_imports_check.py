#!/usr/bin/env python3
"""Reads the import tables of built Windows programs, without running them.

  pe_imports_check.py slots <file or folder>...
      Every slot a program calls through must lead somewhere. A load-time
      import slot must name a function (or an ordinal) the loader resolves; a
      delay-load slot must point at code inside the image (the stub that
      loads the DLL on first use). A slot linked as 0 would make the first
      call jump to address 0. Folders are searched for .exe, .dll and .sys.

  pe_imports_check.py allowed <list> <program>...
      Every load-time import is on <list> ("dll function" per line, '#'
      starts a comment): the functions the oldest system the program must
      start on exports.

Prints a line per file and "N passed, N failed"; exits 1 on any failure.
"""
import os
import struct
import sys

SCN_MEM_EXECUTE = 0x20000000


class PeError(Exception):
    pass


class Pe:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if len(d) < 64 or d[:2] != b"MZ":
            raise PeError("no MZ header")
        pe = self.u32(0x3C)
        if d[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        self.machine, sections = struct.unpack_from("<HH", d, pe + 4)
        optional_size = struct.unpack_from("<H", d, pe + 20)[0]
        opt = pe + 24
        magic = struct.unpack_from("<H", d, opt)[0]
        if magic == 0x10B:
            self.is64 = False
            self.image_base = self.u32(opt + 28)
            dirs = opt + 96
        elif magic == 0x20B:
            self.is64 = True
            self.image_base = struct.unpack_from("<Q", d, opt + 24)[0]
            dirs = opt + 112
        else:
            raise PeError("unknown optional header 0x%x" % magic)
        count = self.u32(dirs - 4)
        self.dirs = [struct.unpack_from("<II", d, dirs + 8 * i) for i in range(min(count, 16))]
        self.sections = []
        table = opt + optional_size
        for i in range(sections):
            s = table + 40 * i
            vsize, va, raw_size, raw_ptr = struct.unpack_from("<IIII", d, s + 8)
            flags = self.u32(s + 36)
            self.sections.append((va, max(vsize, raw_size), raw_size, raw_ptr, flags))
        self.image_size = self.u32(opt + 56)

    def u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def section_of(self, rva):
        for s in self.sections:
            if s[0] <= rva < s[0] + s[1]:
                return s
        return None

    def offset(self, rva):
        s = self.section_of(rva)
        if s is None or rva - s[0] >= s[2]:
            raise PeError("rva 0x%x is not in the file" % rva)
        return s[3] + rva - s[0]

    def ptr(self, rva):
        o = self.offset(rva)
        return struct.unpack_from("<Q" if self.is64 else "<I", self.data, o)[0]

    def cstr(self, rva):
        o = self.offset(rva)
        end = self.data.index(b"\0", o)
        return self.data[o:end].decode("latin-1")

    def ordinal_flag(self):
        return 1 << 63 if self.is64 else 1 << 31

    def thunk_name(self, value):
        """Name of an import-name-table entry, '#n' for an ordinal."""
        if value & self.ordinal_flag():
            return "#%d" % (value & 0xFFFF)
        name = self.cstr((value & 0x7FFFFFFF) + 2)
        if not name:
            raise PeError("empty import name at rva 0x%x" % value)
        return name

    def imports(self):
        """[(dll, function, iat_value_in_file, name_entry)] of the load-time imports."""
        rva, size = self.dirs[1] if len(self.dirs) > 1 else (0, 0)
        out = []
        if rva == 0:
            return out
        step = 8 if self.is64 else 4
        for i in range(4096):
            lookup, _, _, name_rva, iat = struct.unpack_from("<IIIII", self.data, self.offset(rva + 20 * i))
            if name_rva == 0 and iat == 0:
                break
            dll = self.cstr(name_rva)
            names = lookup or iat
            for j in range(65536):
                entry = self.ptr(names + step * j)
                slot = self.ptr(iat + step * j)
                if entry == 0:
                    if slot != 0:
                        raise PeError("%s: address table longer than its name table" % dll)
                    break
                out.append((dll, self.thunk_name(entry), slot, entry))
        return out

    def delay_descriptors(self):
        """(attributes, name, iat, names) of each delay-load descriptor.

        GNU ld leaves the delay-import data directory empty for dlltool's
        delay libraries, so the descriptors are also looked for where they
        are: 32-byte records in the data sections whose attributes say
        "relative addresses" and whose name field points at a "*.dll"
        string (dlltool places them in the code section)."""
        rva = self.dirs[13][0] if len(self.dirs) > 13 else 0
        starts = [rva] if rva else []
        if not starts:
            for va, _, raw_size, raw_ptr, _ in self.sections:
                for o in range(raw_ptr, raw_ptr + raw_size - 31, 4):
                    attrs, name, handle, iat, names = struct.unpack_from("<5I", self.data, o)
                    if attrs != 1 or not self.in_file(name) or not self.in_file(iat) or not self.in_file(names):
                        continue
                    if not self.in_file(handle):
                        continue
                    try:
                        if self.cstr(name).lower().endswith(".dll"):
                            starts.append(va + o - raw_ptr)
                    except (PeError, ValueError):
                        pass
        found = []
        for start in starts:
            for i in range(4096):
                attrs, name, _, iat, names, _, _, _ = struct.unpack_from("<8I", self.data, self.offset(start + 32 * i))
                if name == 0 and iat == 0:
                    break
                found.append((attrs, name, iat, names))
                if not rva:
                    break  # records found by the scan are visited one by one
        return found

    def in_file(self, rva):
        s = self.section_of(rva)
        return s is not None and rva - s[0] < s[2]

    def delay_imports(self):
        """[(dll, function, slot_va)] of the delay-load imports (slot as linked)."""
        out = []
        step = 8 if self.is64 else 4
        for attrs, name, iat, names in self.delay_descriptors():
            based = 0 if attrs & 1 else self.image_base  # old-style tables hold addresses
            dll = self.cstr(name - based)
            for j in range(65536):
                entry = self.ptr(names - based + step * j)
                if entry == 0:
                    break
                if not attrs & 1 and not entry & self.ordinal_flag():
                    entry -= self.image_base
                out.append((dll, self.thunk_name(entry), self.ptr(iat - based + step * j)))
        return out


def check_slots(path):
    pe = Pe(path)
    problems = []
    imports = pe.imports()
    for dll, fn, slot, entry in imports:
        if slot == 0:
            problems.append("%s!%s: import slot is 0" % (dll, fn))
        elif slot != entry:
            problems.append("%s!%s: import slot 0x%x does not name the function" % (dll, fn, slot))
    delayed = pe.delay_imports()
    for dll, fn, slot in delayed:
        rva = slot - pe.image_base
        s = pe.section_of(rva) if 0 <= rva < pe.image_size else None
        if slot == 0:
            problems.append("%s!%s: delay-load slot is 0 (its loading stub was not linked)" % (dll, fn))
        elif s is None or not s[4] & SCN_MEM_EXECUTE:
            problems.append("%s!%s: delay-load slot 0x%x points outside the image's code" % (dll, fn, slot))
    summary = "%d imports, %d delay-load slots" % (len(imports), len(delayed))
    return problems, summary


def load_allowed(path):
    allowed = set()
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].split()
            if len(line) == 2:
                allowed.add((line[0].lower(), line[1]))
    return allowed


def check_allowed(path, allowed):
    imports = Pe(path).imports()
    if not imports:
        return ["no import table read"], ""
    missing = sorted({"%s!%s" % (dll.lower(), fn) for dll, fn, _, _ in imports if (dll.lower(), fn) not in allowed})
    return ["not on the list: %s" % m for m in missing], "%d imports" % len(imports)


def files_of(arguments):
    for a in arguments:
        if os.path.isdir(a):
            for folder, _, names in sorted(os.walk(a)):
                for n in sorted(names):
                    if n.lower().endswith((".exe", ".dll", ".sys")):
                        yield os.path.join(folder, n)
        else:
            yield a


def main(argv):
    if len(argv) < 3 or argv[1] not in ("slots", "allowed"):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    mode = argv[1]
    allowed = load_allowed(argv[2]) if mode == "allowed" else None
    targets = argv[3:] if mode == "allowed" else argv[2:]
    passed = failed = 0
    for path in files_of(targets):
        try:
            problems, summary = check_slots(path) if mode == "slots" else check_allowed(path, allowed)
        except (OSError, PeError, struct.error, ValueError) as e:
            problems, summary = ["cannot read: %s" % e], ""
        if problems:
            failed += 1
            print("FAILED: %s" % path)
            for p in problems[:20]:
                print("  " + p)
            if len(problems) > 20:
                print("  ... and %d more" % (len(problems) - 20))
        else:
            passed += 1
            print("ok: %s (%s)" % (path, summary))
    if passed + failed == 0:
        print("FAILED: no program found in %s" % " ".join(targets))
        failed = 1
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

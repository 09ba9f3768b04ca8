"""Reads what the release checks need from a Windows program (PE) file: its
headers, sections, imports and resources, with the standard library only.

    pe = PeFile.read("nimbrel.exe")
    pe.is_pe32, pe.subsystem, pe.subsystem_version, pe.imports, pe.resource(24, 1)
"""

import struct

_IMAGE_DIRECTORY_IMPORT = 1
_IMAGE_DIRECTORY_RESOURCE = 2
_IMAGE_DIRECTORY_DELAY_IMPORT = 13


class PeError(ValueError):
    pass


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeError("not an MZ file")
        (pe_offset,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe_offset : pe_offset + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        coff = pe_offset + 4
        (self.machine, sections, self.timestamp, self.symbol_table, self.symbol_count, optional_size, _) = \
            struct.unpack_from("<HHIIIHH", data, coff)
        optional = coff + 20
        (self.magic,) = struct.unpack_from("<H", data, optional)
        if self.magic not in (0x10B, 0x20B):
            raise PeError("unknown optional header magic %#x" % self.magic)
        self.is_pe32 = self.magic == 0x10B
        (os_major, os_minor, _, _, sub_major, sub_minor) = struct.unpack_from("<6H", data, optional + 40)
        self.os_version = (os_major, os_minor)
        self.subsystem_version = (sub_major, sub_minor)
        (self.subsystem, self.dll_characteristics) = struct.unpack_from("<HH", data, optional + 68)
        directories = optional + (96 if self.is_pe32 else 112)
        (count,) = struct.unpack_from("<I", data, directories - 4)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(count)]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            raw_name, virtual_size, address, raw_size, raw_offset = struct.unpack_from("<8sIIII", data, table + 40 * i)
            name = raw_name.rstrip(b"\0").decode("latin-1")
            if name.startswith("/") and name[1:].isdigit():
                # A long name lies in the string table after the COFF symbols.
                start = self.symbol_table + 18 * self.symbol_count + int(name[1:])
                name = data[start : data.index(b"\0", start)].decode("latin-1")
            self.sections.append((name, address, max(virtual_size, raw_size), raw_offset, raw_size))

    @classmethod
    def read(cls, path):
        with open(path, "rb") as stream:
            return cls(stream.read())

    def offset(self, rva):
        for _, address, size, raw_offset, raw_size in self.sections:
            if address <= rva < address + size and rva - address < raw_size:
                return raw_offset + rva - address
        raise PeError("address %#x lies in no section" % rva)

    def _string(self, rva):
        start = self.offset(rva)
        return self.data[start : self.data.index(b"\0", start)].decode("latin-1")

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    @property
    def imports(self):
        """[(dll, name or "#ordinal")], in the order of the import table."""
        found = []
        address, _ = self.directory(_IMAGE_DIRECTORY_IMPORT)
        if address == 0:
            return found
        thunk_size, ordinal_flag = (4, 1 << 31) if self.is_pe32 else (8, 1 << 63)
        descriptor = self.offset(address)
        while True:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, descriptor)
            if name == 0:
                return found
            dll = self._string(name)
            thunk = self.offset(lookup or first)
            while True:
                (entry,) = struct.unpack_from("<I" if self.is_pe32 else "<Q", self.data, thunk)
                if entry == 0:
                    break
                if entry & ordinal_flag:
                    found.append((dll, "#%d" % (entry & 0xFFFF)))
                else:
                    found.append((dll, self._string((entry & 0x7FFFFFFF) + 2)))
                thunk += thunk_size
            descriptor += 20

    @property
    def has_delay_imports(self):
        return self.directory(_IMAGE_DIRECTORY_DELAY_IMPORT)[0] != 0

    def resources(self):
        """{(type, name, language): bytes}; numeric ids as ints, names as strings."""
        address, _ = self.directory(_IMAGE_DIRECTORY_RESOURCE)
        found = {}
        if address == 0:
            return found
        base = self.offset(address)

        def entries(table):
            named, numbered = struct.unpack_from("<HH", self.data, table + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data, table + 16 + 8 * i)
                if ident & 0x80000000:
                    start = base + (ident & 0x7FFFFFFF)
                    (length,) = struct.unpack_from("<H", self.data, start)
                    ident = self.data[start + 2 : start + 2 + 2 * length].decode("utf-16-le")
                yield ident, target

        for kind, names in entries(base):
            for name, languages in entries(base + (names & 0x7FFFFFFF)):
                for language, leaf in entries(base + (languages & 0x7FFFFFFF)):
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    start = self.offset(rva)
                    found[(kind, name, language)] = self.data[start : start + size]
        return found

    def resource(self, kind, name):
        """(language, bytes) of the one resource of this type and name, or None."""
        matches = [(language, data) for (k, n, language), data in self.resources().items() if (k, n) == (kind, name)]
        return matches[0] if len(matches) == 1 else None


def version_strings(block):
    """The StringFileInfo values of a version resource: {table: {key: value}},
    and the fixed file and product versions as (a, b, c, d) tuples."""

    def node(offset):
        length, value_length, is_text = struct.unpack_from("<HHH", block, offset)
        end = block.index(b"\0\0", offset + 6)
        while (end - offset - 6) % 2:
            end = block.index(b"\0\0", end + 1)
        key = block[offset + 6 : end].decode("utf-16-le")
        value = (end + 2 + 3) & ~3
        children = (value + (value_length * (2 if is_text else 1)) + 3) & ~3
        return key, length, value, value_length, is_text, children

    def walk(offset):
        key, length, value, value_length, is_text, child = node(offset)
        result = {"key": key, "children": []}
        if is_text and value_length:
            result["text"] = block[value : value + 2 * value_length].decode("utf-16-le").rstrip("\0")
        elif value_length:
            result["bytes"] = block[value : value + value_length]
        while child < offset + length:
            sub = walk(child)
            result["children"].append(sub)
            child = (child + sub["length"] + 3) & ~3
        result["length"] = length
        return result

    root = walk(0)
    fixed = root.get("bytes", b"")
    versions = {}
    if len(fixed) >= 52:
        file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", fixed, 8)
        split = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        versions = {"file": split(file_ms, file_ls), "product": split(product_ms, product_ls)}
    tables = {}
    for child in root["children"]:
        if child["key"] == "StringFileInfo":
            for table in child["children"]:
                tables[table["key"]] = {entry["key"]: entry.get("text", "") for entry in table["children"]}
    return tables, versions

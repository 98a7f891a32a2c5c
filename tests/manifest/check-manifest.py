#!/usr/bin/env python3
"""Reads a built program's application manifest (resource 1 of type RT_MANIFEST) from its PE
file, parses it as XML and checks what Windows reads there: asInvoker without UI access in
the trustInfo form Windows XP SP3 reads, and every Windows from Vista to 10/11 as supported.
Wine starts a program whose manifest is malformed; Windows refuses to.
    check-manifest.py PROGRAM.exe"""
import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_MANIFEST = 24
MANIFEST_ID = 1
RESOURCE_DIRECTORY = 2
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V2 = "{urn:schemas-microsoft-com:asm.v2}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Windows Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}


def manifest_bytes(image):
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    root_rva = struct.unpack_from("<I", image, directories + 8 * RESOURCE_DIRECTORY)[0]
    table = optional + optional_size
    layout = [struct.unpack_from("<8xIIII", image, table + 40 * i) for i in range(sections)]

    def offset(rva):
        for size, address, raw_size, raw in layout:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError("RVA 0x%x lies in no section" % rva)

    root = offset(root_rva)

    def entry(directory, wanted):
        named, numbered = struct.unpack_from("<12xHH", image, directory)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", image, directory + 16 + 8 * i)
            if wanted is None or name == wanted:
                return target
        raise ValueError("no resource %s" % wanted)

    names = root + (entry(root, RT_MANIFEST) & 0x7FFFFFFF)
    languages = root + (entry(names, MANIFEST_ID) & 0x7FFFFFFF)
    leaf = root + entry(languages, None)
    data_rva, size = struct.unpack_from("<II", image, leaf)
    start = offset(data_rva)
    return image[start:start + size]


def problems(manifest):
    try:
        assembly = ElementTree.fromstring(manifest)
    except ElementTree.ParseError as error:
        return ["not well-formed XML: %s" % error]
    found = []
    if assembly.tag != ASM_V1 + "assembly" or assembly.get("manifestVersion") != "1.0":
        found.append("the root is not an asm.v1 assembly of manifestVersion 1.0")
    if assembly.find(ASM_V1 + "assemblyIdentity") is None:
        found.append("no assemblyIdentity, which Windows XP needs")
    levels = assembly.findall("./%strustInfo/%ssecurity/%srequestedPrivileges/%srequestedExecutionLevel"
                              % (ASM_V2, ASM_V2, ASM_V2, ASM_V2))
    if [(level.get("level"), level.get("uiAccess")) for level in levels] != [("asInvoker", "false")]:
        found.append("not one asm.v2 requestedExecutionLevel asInvoker without uiAccess")
    ids = [os.get("Id") for os in assembly.iter(COMPATIBILITY + "supportedOS")]
    if sorted(ids) != sorted(SUPPORTED_OS):
        missing = [SUPPORTED_OS[guid] for guid in SUPPORTED_OS if guid not in ids]
        found.append("supportedOS %s; missing: %s" % (ids, missing))
    if any(element.tag.endswith("}dpiAware") or element.tag.endswith("}dpiAwareness")
           for element in assembly.iter()):
        found.append("declares DPI awareness, which its twips layout does not follow")
    return found


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "rb") as program:
        image = program.read()
    try:
        found = problems(manifest_bytes(image))
    except (ValueError, struct.error) as error:
        found = ["no manifest resource: %s" % error]
    for problem in found:
        print("FAIL: %s: %s" % (sys.argv[1], problem), file=sys.stderr)
    if not found:
        print("%s: manifest asInvoker, supportedOS Vista to 10/11" % sys.argv[1])
    sys.exit(1 if found else 0)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the registry scripts of the library's classes from one table:
com/<Class>.rgs (one per class), com/PlenvortRegistry.rc (the REGISTRY resources) and
com/RegistryIds.h (their resource identifiers).

Usage: scripts/gen-registry-scripts.py     (run it again after changing the table)"""
from pathlib import Path

ROOT = Path(__file__).absolute().parent.parent
COM = ROOT / "com"
LIBID = "{5D73A3B6-F8E9-11D2-B25C-0060B0A4BC1C}"

# Class, resource id, CLSID, variant:
#   ""        the common script
#   "curver"  CurVer on the version-independent ProgID and the type library on the class key
#   "custom"  as "curver", and no threading model
#   "plain"   the product key written without the `s` type word
#   "lower"   the CLSID's third and fourth groups in lower case
CLASSES = """
APElement                    102 5D73A3C4-F8E9-11D2-B25C-0060B0A4BC1C
APPartNode                   104 5D73A3C8-F8E9-11D2-B25C-0060B0A4BC1C
APAssemblyNode               106 5D73A3CB-F8E9-11D2-B25C-0060B0A4BC1C
APAssemblyOperation          108 5D73A3CE-F8E9-11D2-B25C-0060B0A4BC1C
APMeasurementOperation       110 5D73A3D1-F8E9-11D2-B25C-0060B0A4BC1C
APFixtureNode                112 5D73A3D4-F8E9-11D2-B25C-0060B0A4BC1C
APNodeInstance               114 FE77A0AC-03CA-11D3-B25F-0060B0A4BC1C
APTolerance                  120 3D68E790-D91E-47B6-ABDE-8752320CE3A0
APGDTTolerance               122 305FA632-0492-11D3-B260-0060B0A4BC1C
APSizeTolerance              124 305FA635-0492-11D3-B260-0060B0A4BC1C
APFeature                    126 90CCBBFE-915C-43AB-BB87-7CBA800F7538
APDatum                      142 86DE0996-0A31-11D3-B264-0060B0A4BC1C
APDRF                        144 86DE0999-0A31-11D3-B264-0060B0A4BC1C
APDocument                   146 8866DFAC-0A43-11D3-B264-0060B0A4BC1C
APFeaturePair                148 E61B808E-0C83-11D3-B265-0060B0A4BC1C
APPinFeature                 151 E5DA39DC-2040-11D3-B26F-0060B0A4BC1C
APHoleFeature                153 E5DA39DF-2040-11D3-B26F-0060B0A4BC1C
APSlotFeature                155 E5DA39E2-2040-11D3-B26F-0060B0A4BC1C
APTabFeature                 157 E5DA39E5-2040-11D3-B26F-0060B0A4BC1C
APPlaneFeature               159 E5DA39E8-2040-11D3-B26F-0060B0A4BC1C
APPointFeature               161 E5DA39EB-2040-11D3-B26F-0060B0A4BC1C
APSurfaceFeature             163 E5DA39EE-2040-11D3-B26F-0060B0A4BC1C
APPointerList                169 EBA09ACC-28C3-11D3-B26F-0060B0A4BC1C
APGroup                      171 F618587B-96E1-11D3-B283-0060B0A4BC1C
APStringProperty             173 A846CDB2-A685-11D3-B287-0060B0A4BC1C
APPropertyKey                175 A846CDB9-A685-11D3-B287-0060B0A4BC1C
APIntProperty                177 ABC1E8F6-ABFE-11D3-B288-0060B0A4BC1C
APDoubleProperty             179 99C135C8-BCA3-11D3-B28A-0060B0A4BC1C
APElemPtrProperty            181 99C135CB-BCA3-11D3-B28A-0060B0A4BC1C
APCustomOperation            182 45153251-3AE5-11D4-974A-00105A0153A2 custom
APSPCMeasurementOp           183 9D066623-961F-11D4-857F-0050048323BC curver
APPatternFeature             184 720064AC-1C85-11D5-8592-0050048323BC curver
APTolLibNode                 186 DCB63E95-B0F2-11D5-8899-005004225507 curver
APTaperedPinFeature          187 CE63BAB8-C606-4777-BBC8-973449691B32 plain
APTaperedHoleFeature         188 61246CFA-BAA3-4C6B-B769-EEDD4567BC14 plain
APGroupNode                  189 8A457E96-B427-4D89-B0A1-28CD67226DAA plain
APCondition                  190 9665BF13-B4A0-4B39-B53D-C2A983A977B5 plain
APFeatureGroupNode           191 F6C62800-5704-43C2-B4F2-372E72D31706 lower
APSubFeatureGroupNode        192 B2D1C9F9-AC17-4E7B-8023-019EAB675335 lower
APClassicAssemblyOperation   193 10496A26-EF36-4D70-9BCF-7FE25E074676 lower
APKinematicAssemblyOperation 207 C954DEE1-C3D4-48D4-A2B9-DC72F6095469 lower
APFemAssemblyOperation       208 358D9426-EC10-4358-9F9F-021F771CFFAA
"""


def script(name, clsid, variant):
    if variant == "lower":
        g = clsid.split("-")
        g[2], g[3] = g[2].lower(), g[3].lower()
        clsid = "-".join(g)
    c = "{" + clsid + "}"
    curver = variant in ("curver", "custom")
    product = "NoRemove '%PRODUCT%'" if variant == "plain" else "NoRemove s '%PRODUCT%'"
    lines = [
        "HKCR",
        "{",
        f"\tPlenvort.{name}.1 = s '{name} Class'",
        "\t{",
        f"\t\tCLSID = s '{c}'",
        "\t}",
        f"\tPlenvort.{name} = s '{name} Class'",
        "\t{",
        f"\t\tCLSID = s '{c}'",
    ]
    if curver:
        lines.append(f"\t\tCurVer = s 'Plenvort.{name}.1'")
    lines += [
        "\t}",
        f"\t{product}",
        "\t{",
        f"\t\tForceRemove {c} = s '{name} Class'",
        "\t\t{",
        f"\t\t\tProgID = s 'Plenvort.{name}.1'",
        f"\t\t\tVersionIndependentProgID = s 'Plenvort.{name}'",
    ]
    if variant == "custom":
        lines.append("\t\t\tInprocServer32 = s '%MODULE%'")
    else:
        lines += [
            "\t\t\tInprocServer32 = s '%MODULE%'",
            "\t\t\t{",
            "\t\t\t\tval ThreadingModel = s 'Apartment'",
            "\t\t\t}",
        ]
    if curver:
        lines.append(f"\t\t\t'TypeLib' = s '{LIBID}'")
    lines += ["\t\t}", "\t}", "}"]
    return "\r\n".join(lines) + "\r\n"


def main():
    rows = []
    for line in CLASSES.strip().splitlines():
        parts = line.split()
        rows.append((parts[0], int(parts[1]), parts[2], parts[3] if len(parts) > 3 else ""))
    assert len(rows) == 42 and len({r[1] for r in rows}) == 42
    for name, _, clsid, variant in rows:
        (COM / f"{name}.rgs").write_bytes(script(name, clsid, variant).encode("ascii"))
    head = "// Generated by scripts/gen-registry-scripts.py. Do not edit; change the table and run it again.\n"
    rc = head + "".join(f'{rid} REGISTRY "{name}.rgs"\n' for name, rid, _, _ in sorted(rows, key=lambda r: r[1]))
    (COM / "PlenvortRegistry.rc").write_text(rc)
    ids = head + "#pragma once\n// Resource identifiers of the classes' registry scripts (type REGISTRY).\n"
    ids += "".join(f"#define IDR_{name.upper()} {rid}\n" for name, rid, _, _ in sorted(rows, key=lambda r: r[1]))
    (COM / "RegistryIds.h").write_text(ids)


main()

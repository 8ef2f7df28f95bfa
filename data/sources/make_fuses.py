#!/usr/bin/env python3
"""Writes the fuse definition files that lie beside the programs.

    python3 data/sources/make_fuses.py [DATA_DIR] [--atdf ATDF_DIR]
    python3 data/sources/make_fuses.py --trim FROM TO

Reads the device databases device.inf, device_V1.inf and device_V2.inf in
DATA_DIR (by default the data/ folder above this one), finds every device of
the AVR (6), AVR32 (7) and ARM (9) programmer types and writes, into the same
folder:
  AVRFuses.inf     one block per AVR device id
  AVR32Fuses.inf   one block per AVR32 device id
  ARMFuses.inf     one block per (device id, family index) pair: an ARM block
                   matches by the device id and by the 0-based index of the
                   device's family among the ARM families of the database in
                   use, and that index differs between the databases.

Every AVR part and the SAM D21 parts that have one take their layout from the
chip maker's device file (ATDF, XML) of the part in ATDF_DIR (by default the
trimmed copies in tests/data/atdf): one FIELD per bitfield with the maker's
bits, its value-group as the OPTIONs, the registers' initval as the defaults,
except where the datasheet says otherwise (DATASHEET_DEFAULTS, named there).
The other parts (AVR32, STM32, Nuvoton, LPC, SAM D21 without a device file)
keep the hand-written layouts below, each block naming its source.

--trim writes a copy of each device file in FROM into TO holding only what
describes the fuses and lock bits, with the file's licence header.

Every fuse bit is 1 when unprogrammed/erased; AVR fuse bits are active low,
so "programmed" is a 0 bit. Bits of a byte that no field covers read as 1.

Record format: five fields separated by four "%"; a record ends at the end
of its line or at a comma, so no text may hold a comma, a double quote or a
"%". Only the standard library is used, and the output is the same on every
run; the script stops with a message when a layout breaks a rule the
program relies on.
"""

import os
import re
import sys
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
ATDF_DIR = os.path.join(os.path.dirname(os.path.dirname(HERE)), "tests", "data", "atdf")
DATABASES = ("device.inf", "device_V1.inf", "device_V2.inf")
MAX_BYTES = 8
MAX_FIELDS = 9
MAX_OPTIONS = 257


class LayoutError(Exception):
    pass


# ------------------------------------------------------------------ the model


class Field:
    def __init__(self, name, text, mask, default, options):
        self.name = name
        self.text = text
        self.mask = mask
        self.default = default
        self.options = list(options)   # (text, value) pairs, values in place


class Byte:
    def __init__(self, name, fields, remarks=()):
        self.name = name
        self.fields = list(fields)
        self.remarks = list(remarks)


class Layout:
    def __init__(self, osccal, nbytes, remarks=()):
        self.osccal = osccal
        self.bytes = list(nbytes)
        self.remarks = list(remarks)


def flag(name, text, bit, default, text0, text1):
    """A one-bit field: text0 names the 0 (programmed) state, text1 the 1."""
    m = 1 << bit
    return Field(name, text, m, m if default else 0, [(text1, m), (text0, 0)])


def enable(name, text, bit, default):
    """An active-low enable fuse: 0 (programmed) enables."""
    return flag(name, text, bit, default, "Enabled", "Disabled")


def choice(name, text, shift, width, default, options):
    """A field of `width` bits at `shift`; default and options as raw codes."""
    return Field(name, text, ((1 << width) - 1) << shift, default << shift,
                 [(t, v << shift) for t, v in options])


def every_value(name, text, shift, width, default, fmt="&H%02X"):
    """A field offering each value its bits can hold."""
    count = 1 << width
    return choice(name, text, shift, width, default, [(fmt % v, v) for v in range(count)])


def reserved(name, mask, default):
    """Bits with nothing to set: one option, the value they must keep."""
    return Field(name, "Reserved - keep", mask, default, [("Keep %s" % hexs(default), default)])


def hexs(v):
    return "&H%02X" % v


# ------------------------------------------------- the maker's device files
#
# The AVR parts and the SAM D21 parts with a device file take their layout
# from the chip maker's ATDF file (XML): each fuse or lock register becomes
# fuse bytes, each bitfield a FIELD with the maker's bits, each value of its
# value-group an OPTION, each register's initval the defaults.

# Device names of the databases that use another part's device file.
ATDF_ALIAS = {"ATmega2560V": "ATmega2560"}

# The SAM D21 user row: the only fuse register group of those files taken.
SAM_USER_GROUP = "USER_FUSES"

# Where the datasheet and the device file disagree the datasheet wins:
# (part, register) -> (value, why).
DATASHEET_DEFAULTS = {
    ("ATmega32U4", "EXTENDED"): (0xF3, "datasheet 0xF3 (HWBE programmed); device file 0xFB"),
    ("ATtiny2313A", "LOW"): (0x64, "datasheet 0x64 (Int RC 8MHz, CKDIV8); device file 0x62"),
    ("ATtiny4313", "LOW"): (0x64, "datasheet 0x64 (Int RC 8MHz, CKDIV8); device file 0x62"),
}


def datasheet_initial(part, register, field_names):
    """The factory value of a register whose device file names none."""
    if register in ("LOCKBIT", "LOCKBITS"):
        return 0xFF                 # every datasheet: lock bits unprogrammed
    if register.startswith("FUSEBYTE"):
        # XMEGA manuals: FUSEBYTE1 (watchdog periods) ships 0x00, FUSEBYTE4
        # 0xFE where JTAGEN exists (JTAG enabled), every other byte 0xFF.
        if register == "FUSEBYTE1":
            return 0x00
        if register == "FUSEBYTE4" and "JTAGEN" in field_names:
            return 0xFE
        return 0xFF
    # SAM D21 datasheet, NVM user row mapping: the factory row.
    if register == "USER_WORD_0":
        return 0xD8E0C7FF
    if register == "USER_WORD_1":
        return 0xFFFFFC5D
    raise LayoutError("%s: register %s has no initial value" % (part, register))


BYTE_NAMES = {"LOCKBIT": "Lock bits", "LOCKBITS": "Lock bits", "LOW": "Low fuse", "HIGH": "High fuse",
              "EXTENDED": "Extended fuse", "BYTE0": "Configuration byte"}

# The file format and the options window: texts without these, and short.
MAX_FIELD_TEXT = 60
MAX_OPTION_TEXT = 80

# Shortening of the maker's captions, applied in this order.
CAPTION_EDITS = [
    ("Start-up time PWRDWN/RESET: ", "SUT "),
    ("Start-up time: ", "SUT "),
    ("; default value", ""),
    ("Oscillator", "Osc."),
    ("slowly rising power", "slow rising power"),
    (",", ";"),
    ('"', ""),
    ("%", " percent"),
]


def shorten(caption, limit, where):
    text = caption
    for old, new in CAPTION_EDITS:
        text = text.replace(old, new)
    text = " ".join(text.split())
    # A caption still too long and of several sentences keeps its first.
    cut = text.find(". ")
    if len(text) > limit and cut > 0 and text[cut + 2:cut + 3].isupper():
        text = text[:cut]
    if not text:
        raise LayoutError("%s: empty caption" % where)
    if len(text) > limit:
        raise LayoutError("%s: caption %r longer than %d after shortening" % (where, text, limit))
    return text


def distinct(options):
    """Settings whose maker's captions repeat (ATtiny2313A crystals, the
    ATtiny25/45/85 ATtiny15 mode) are told apart by their field value."""
    count = {}
    for text, _ in options:
        count[text] = count.get(text, 0) + 1
    return [(t if count[t] == 1 else "%s - &H%02X" % (t, v), v) for t, v in options]


def atdf_path(atdf_dir, name):
    return os.path.join(atdf_dir, ATDF_ALIAS.get(name, name) + ".atdf")


def fuse_groups(root):
    """The fuse and lock register groups of the device file, as (address
    space, instance register-group, module, module register-group,
    peripheral module, instance)."""
    device = root.find("devices/device")
    modules = {m.get("name"): m for m in root.find("modules").findall("module")}
    out = []
    for peripheral in device.find("peripherals").findall("module"):
        for instance in peripheral.findall("instance"):
            for ref in instance.findall("register-group"):
                space = ref.get("address-space")
                inner = ref.get("name-in-module")
                if space not in ("fuses", "lockbits"):
                    continue
                if device.get("architecture", "").startswith("CORTEX") and inner != SAM_USER_GROUP:
                    continue
                module = modules[peripheral.get("name")]
                group = [g for g in module.findall("register-group") if g.get("name") == inner]
                if len(group) != 1:
                    raise LayoutError("register group %s not found once" % inner)
                out.append((space, ref, module, group[0], peripheral, instance))
    return out


def number(text):
    return int(text, 0)


def atdf_layout(path, part, arm):
    """Fuse bytes of one part: AVR byte 0 the lock bits, byte 1 + n fuse
    byte n; SAM D21 the user row words, least significant byte first."""
    root = ET.parse(path).getroot()
    device = root.find("devices/device")
    # byte index -> (register, shift of the byte within it, value groups)
    places = {}
    fuse_names = []
    for space, ref, module, group, _, _ in fuse_groups(root):
        values = {v.get("name"): v for v in module.findall("value-group")}
        for reg in group.findall("register"):
            size = int(reg.get("size", "1"))
            offset = number(reg.get("offset"))
            for k in range(size):
                if arm:
                    index = offset + k
                elif space == "lockbits":
                    index = 0
                else:
                    index = 1 + offset + k
                    fuse_names.append(reg.get("name"))
                if index in places:
                    raise LayoutError("%s: two registers at fuse byte %d" % (part, index))
                places[index] = (reg, 8 * k, values)
    if arm:
        count = max(places) + 1
    else:
        spaces = {s.get("id"): s for s in device.find("address-spaces").findall("address-space")}
        count = 1 + number(spaces["fuses"].get("size"))
    xmega_names = fuse_names and all(n.startswith("FUSEBYTE") for n in fuse_names)

    out = []
    for index in range(count):
        if index not in places:
            # A byte the maker's file leaves out: nothing to set, kept erased.
            name = ("FUSEBYTE%d (reserved)" if xmega_names else "Fuse byte %d (reserved)") % (index - 1)
            out.append(Byte(name, [reserved("RESERVED", 0xFF, 0xFF)]))
            continue
        reg, shift, values = places[index]
        rname = reg.get("name")
        bitfields = reg.findall("bitfield")
        override = DATASHEET_DEFAULTS.get((part, rname))
        if override is not None:
            initial = override[0]
        elif reg.get("initval") is not None:
            initial = number(reg.get("initval"))
        else:
            initial = datasheet_initial(part, rname, [b.get("name") for b in bitfields])
        byte_default = (initial >> shift) & 0xFF
        if arm:
            name = "User row bits %d..%d" % (8 * index + 7, 8 * index)
        else:
            name = BYTE_NAMES.get(rname, rname)
        fields, covered = [], 0
        for bf in bitfields:
            full = number(bf.get("mask"))
            mask = (full >> shift) & 0xFF
            if not mask:
                continue
            covered |= mask
            where = "%s %s.%s" % (part, rname, bf.get("name"))
            lowest = (full & -full)          # the field's bit 0 in the register
            text = shorten(bf.get("caption") or bf.get("name"), MAX_FIELD_TEXT, where)
            split = mask << shift != full
            if split:
                low_bit = (mask & -mask).bit_length() - 1 + shift - (lowest.bit_length() - 1)
                high_bit = low_bit + bin(mask).count("1") - 1
                part_text = "bit %d" % low_bit if low_bit == high_bit else "bits %d..%d" % (high_bit, low_bit)
                text = shorten("%s %s" % (text, part_text), MAX_FIELD_TEXT, where)
            options = field_options(bf, full, shift, mask, values, arm, where)
            if (byte_default & mask) not in [v for _, v in options]:
                # The factory setting is no value the maker lists (ATtiny441/841/1634
                # BODLEVEL 111): offered too, so that the shipped value can stay.
                low = (mask & -mask).bit_length() - 1
                options.append(("&H%X - factory value" % ((byte_default & mask) >> low), byte_default & mask))
            fields.append(Field(bf.get("name"), text, mask, byte_default & mask, options))
        free = ~covered & 0xFF
        if not fields or (byte_default & free) != free:
            # Bits no field names whose factory value is not 1: kept as shipped.
            fields.append(reserved("RESERVED", free, byte_default & free))
        out.append(Byte(name, fields))
    remark = "From the maker's device file %s" % os.path.basename(path)
    return Layout(0, out, [remark])


def field_options(bf, full, shift, mask, values, arm, where):
    """(text, value in place) of each setting of a bitfield's bits in this byte."""
    group = bf.get("values")
    if group:
        if group not in values:
            raise LayoutError("%s: value group %s missing" % (where, group))
        entries = values[group].findall("value")
        lowest = (full & -full).bit_length() - 1
        out, seen = [], {}
        for v in entries:
            raw = number(v.get("value"))
            if (raw << lowest) & ~full:
                raise LayoutError("%s: value %s outside the field" % (where, v.get("value")))
            placed = ((raw << lowest) >> shift) & mask
            if mask << shift == full:
                out.append((shorten(v.get("caption") or v.get("name"), MAX_OPTION_TEXT - 8, where), placed))
            else:
                seen.setdefault(placed, []).append(v.get("name"))
        if seen:
            # A field split over two bytes: each part offers the bit patterns
            # the maker's values give it, naming those values.
            width_shift = (mask & -mask).bit_length() - 1
            for placed, names in seen.items():
                label = "&H%X (%s)" % (placed >> width_shift, " or ".join(names))
                out.append((shorten(label, MAX_OPTION_TEXT, where), placed))
        return distinct(out)
    low = (mask & -mask).bit_length() - 1
    width = bin(mask).count("1")
    if width == 1:
        if arm:
            return [("1", mask), ("0", 0)]
        return [("Unprogrammed (1)", mask), ("Programmed (0)", 0)]
    return [("&H%X" % v, v << low) for v in range(1 << width)]




# -------------------------------------------------------------------- AVR32

BOOTPROT = [("None", 7), ("1 KB", 6), ("2 KB", 5), ("4 KB", 4), ("8 KB", 3), ("16 KB", 2),
            ("32 KB", 1), ("64 KB", 0)]


def uc3(dev):
    """The 32-bit general-purpose fuse word, least significant byte first."""
    region = dev["flash"] // 16 // 1024
    unlocked = lambda i: flag("LOCK%d" % i, "Region %d (%d KB)" % (i, region), i % 8, 1, "Locked", "Unlocked")
    gp = lambda i: flag("GP%d" % i, "General-purpose fuse %d" % i, i % 8, 1, "0", "1 (erased)")
    return Layout(0, [
        Byte("GP fuses 7..0 (LOCK)", [unlocked(i) for i in range(8)]),
        Byte("GP fuses 15..8 (LOCK)", [unlocked(i) for i in range(8, 16)]),
        Byte("GP fuses 23..16", [
            flag("EPFL", "External privileged fetch lock", 0, 1, "Locked", "Unlocked"),
            choice("BOOTPROT", "Protected boot loader area", 1, 3, 7, BOOTPROT)] +
            [gp(i) for i in range(20, 24)]),
        Byte("GP fuses 31..24", [gp(i) for i in range(24, 32)])],
        ["Defaults are the erased fuse word &HFFFFFFFF",
         "GP fuses 20..31 carry family functions (see datasheet) or are free"])


# ---------------------------------------------------------------------- ARM


def stm32(dev, family):
    """Option bytes RDP USER Data0 Data1 WRP0.. without their complements."""
    name, flash = dev["name"], dev["flash"]
    f0 = family == "STM32F0"
    if f0:
        rdp = Field("RDP", "Read protection", 0xFF, 0xAA, [
            ("Level 0 - no protection", 0xAA), ("Level 1 - read protection", 0xBB),
            ("Level 2 - chip protection", 0xCC)])
        user = [flag("WDG_SW", "Watchdog", 0, 1, "Hardware watchdog", "Software watchdog"),
                flag("nRST_STOP", "Reset on Stop entry", 1, 1, "Reset", "No reset"),
                flag("nRST_STDBY", "Reset on Standby entry", 2, 1, "Reset", "No reset")]
        boot_sel = name.startswith(("STM32F04", "STM32F09"))
        if boot_sel:
            user.append(flag("nBOOT0", "BOOT0 value when BOOT_SEL=0", 3, 1, "0", "1"))
        user += [flag("nBOOT1", "Boot memory select", 4, 1, "0 - embedded SRAM", "1 - system memory"),
                 flag("VDDA_MONITOR", "VDDA power supply supervisor", 5, 1, "Disabled", "Enabled"),
                 flag("RAM_PARITY", "RAM parity check", 6, 1, "Enabled", "Disabled")]
        if boot_sel:
            user.append(flag("BOOT_SEL", "Boot selection", 7, 1, "nBOOT0 bit", "BOOT0 pin"))
        wrp_bytes = 4 if flash > 65536 else 2
        sector = 8 if flash > 131072 else 4
        tail = False
    else:
        rdp = Field("RDP", "Read protection", 0xFF, 0xA5, [
            ("Unprotected", 0xA5), ("Read protected", 0x00)])
        user = [flag("WDG_SW", "Watchdog", 0, 1, "Hardware watchdog", "Software watchdog"),
                flag("nRST_STOP", "Reset on Stop entry", 1, 1, "Reset", "No reset"),
                flag("nRST_STDBY", "Reset on Standby entry", 2, 1, "Reset", "No reset")]
        if flash > 524288:
            user.append(flag("BFB2", "Boot from bank 2", 3, 1, "Boot from bank 2", "Boot from bank 1"))
        wrp_bytes = 4
        sector = 4
        tail = flash > 131072   # high and XL density: the last bit covers the rest
    out = [Byte("RDP", [rdp]), Byte("USER", user),
           Byte("Data0", [every_value("DATA0", "User data byte 0", 0, 8, 0xFF)]),
           Byte("Data1", [every_value("DATA1", "User data byte 1", 0, 8, 0xFF)])]
    for w in range(wrp_bytes):
        fields = []
        for b in range(8):
            n = 8 * w + b
            text = "Sector %d" % n
            if tail and n == 31:
                text = "Sector 31 and the rest"
            fields.append(flag("WRP%d" % n, text, b, 1, "Write protected", "Not protected"))
        out.append(Byte("WRP%d" % w, fields))
    remarks = ["Option bytes without their complements; one WRP sector = %d KB" % sector]
    if f0:
        remarks.append("RDP: any value but &HAA and &HCC is level 1")
    else:
        remarks.append("RDP: any value but &HA5 protects the flash")
    return Layout(0, out, remarks)


NUVOTON_BOD = [("4.5 V", 0b11), ("3.8 V", 0b10), ("2.7 V", 0b01), ("2.2 V", 0b00)]


def nuvoton(dev, family):
    """CONFIG0 then CONFIG1, each least significant byte first."""
    name = dev["name"]
    m4 = name.startswith("M45")
    movable_data_flash = name.startswith("NUC1") or m4
    b0 = [flag("DFEN", "Data flash", 0, 1, "Enabled", "Disabled"),
          flag("LOCK", "Security lock", 1, 1, "Locked", "Unlocked")]
    if m4:
        b0.append(reserved("RESERVED", 0xFC, 0xFC))
        b2 = [reserved("RESERVED", 0xFF, 0xFF)]
    else:
        b0 += [reserved("RESERVED", 0x7C, 0x7C),
               flag("CBS", "Boot select", 7, 1, "Boot from LDROM", "Boot from APROM")]
        b2 = [reserved("RESERVED", 0x0F, 0x0F),
              enable("CBORST", "Brown-out reset", 4, 1),
              choice("CBOV", "Brown-out voltage", 5, 2, 0b11, NUVOTON_BOD),
              enable("CBODEN", "Brown-out detector", 7, 1)]
    out = [Byte("CONFIG0 bits 7..0", b0),
           Byte("CONFIG0 bits 15..8", [reserved("RESERVED", 0xFF, 0xFF)]),
           Byte("CONFIG0 bits 23..16", b2),
           Byte("CONFIG0 bits 31..24", [reserved("RESERVED", 0xFF, 0xFF)])]
    if movable_data_flash:
        out += [Byte("CONFIG1 bits 7..0", [Field("DFBADR_L", "Data flash base bits 7..0", 0xFF, 0xFF, [
                    ("Erased", 0xFF), ("&H00 (page aligned)", 0x00)])]),
                Byte("CONFIG1 bits 15..8", [every_value("DFBADR_M", "Data flash base bits 15..8", 0, 8, 0xFF)]),
                Byte("CONFIG1 bits 23..16", [
                    every_value("DFBADR_H", "Data flash base bits 19..16", 0, 4, 0xF, "&H%X"),
                    reserved("RESERVED", 0xF0, 0xF0)]),
                Byte("CONFIG1 bits 31..24", [reserved("RESERVED", 0xFF, 0xFF)])]
        remarks = ["DFBADR sets the data flash start when DFEN enables it"]
    else:
        out += [Byte("CONFIG1 bits %d..%d" % (8 * i + 7, 8 * i), [reserved("RESERVED", 0xFF, 0xFF)])
                for i in range(4)]
        remarks = ["CONFIG1 unused here: keep erased"]
    remarks.insert(0, "Defaults are the erased words &HFFFFFFFF; unnamed bits stay erased")
    return Layout(0, out, remarks)


def lpc111x(dev, family):
    """The Code Read Protection word at flash offset &H2FC, least significant byte first."""
    words = [("NO_CRP", 0xFFFFFFFF), ("CRP1", 0x12345678), ("CRP2", 0x87654321),
             ("CRP3", 0x43218765), ("NO_ISP", 0x4E697370)]
    out = []
    for i in range(4):
        opts = [("%s (%s)" % (label, "%08X" % w), (w >> (8 * i)) & 0xFF) for label, w in words]
        out.append(Byte("CRP word bits %d..%d" % (8 * i + 7, 8 * i),
                        [Field("CRP%d" % i, "CRP word byte %d" % i, 0xFF, 0xFF, opts)]))
    return Layout(0, out, [
        "Choose the same level in all four bytes: only the whole words listed are CRP levels",
        "Any other word - a mix of levels - leaves the part unprotected like NO_CRP"])


def samd21(dev, family):
    """The first 64 bits of the NVM user row, least significant byte first."""
    region = dev["flash"] // 16 // 1024
    def sizes(base):
        """Code 7 protects or reserves nothing; each lower code doubles from base bytes."""
        out = [("None", 7)]
        for v in range(6, -1, -1):
            size = base << (6 - v)
            out.append(("%d bytes" % size if size < 1024 else "%d KB" % (size // 1024), v))
        return out

    cycles = lambda v: "%d cycles" % (8 << v)
    periods = [(cycles(v), v) for v in range(12)]
    lock = lambda i: flag("LOCK%d" % i, "Region %d (%d KB)" % (i, region), i % 8, 1, "Locked", "Unlocked")
    return Layout(0, [
        Byte("User row bits 7..0", [
            choice("BOOTPROT", "Boot loader protection", 0, 3, 7, sizes(512)),
            reserved("RESERVED3", 0x08, 0x08),
            choice("EEPROM", "EEPROM emulation size", 4, 3, 7, sizes(256)),
            reserved("RESERVED7", 0x80, 0x80)]),
        Byte("User row bits 15..8", [
            every_value("BOD33_LEVEL", "BOD33 level", 0, 6, 7, "Level %d"),
            flag("BOD33_EN", "BOD33", 6, 1, "Disabled", "Enabled"),
            flag("BOD33_ACT0", "BOD33 action bit 0", 7, 1, "0 - none/interrupt", "1 - reset")]),
        Byte("User row bits 23..16", [
            flag("BOD33_ACT1", "BOD33 action bit 1", 0, 0, "0 - none/reset", "1 - interrupt"),
            reserved("RESERVED", 0xFE, 0xE0)]),
        Byte("User row bits 31..24", [
            reserved("RESERVED", 0x01, 0x00),
            flag("WDT_EN", "Watchdog at reset", 1, 0, "Disabled", "Enabled"),
            flag("WDT_ALWAYSON", "Watchdog always on", 2, 0, "No", "Yes"),
            choice("WDT_PER", "Watchdog period", 3, 4, 0xB, periods),
            flag("WDT_WINDOW0", "Window period bit 0", 7, 1, "Even code", "Odd code")]),
        Byte("User row bits 39..32", [
            choice("WDT_WINDOW", "Window period bits 3..1", 0, 3, 5,
                   [("%s / %s" % (cycles(2 * v), cycles(2 * v + 1)), v) for v in range(6)]),
            choice("WDT_EWOFFSET", "Early warning offset", 3, 4, 0xB, periods),
            flag("WDT_WEN", "Window mode", 7, 0, "Disabled", "Enabled")]),
        Byte("User row bits 47..40", [
            flag("BOD33_HYST", "BOD33 hysteresis", 0, 0, "Off", "On"),
            reserved("RESERVED", 0xFE, 0xFC)]),
        Byte("User row bits 55..48 (LOCK)", [lock(i) for i in range(8)]),
        Byte("User row bits 63..56 (LOCK)", [lock(i) for i in range(8, 16)])],
        ["BOD33 action: bit1 bit0 = 00 none / 01 reset / 10 interrupt",
         "Window period code = bits 3..1 and bit 0; reserved bits keep the factory row"])


# ------------------------------------------------------------ device tables

# Calibration values each AVR part offers (OsccalMask), by part name.
OSCCAL = {"ATmega8A": 15, "ATmega16A": 15, "ATmega32A": 15, "ATmega64A": 15, "ATmega128A": 15,
          "ATtiny2313A": 12, "ATtiny4313": 12}


def avr_layout(dev, family, atdf_dir):
    path = atdf_path(atdf_dir, dev["name"])
    if not os.path.isfile(path):
        raise LayoutError("no device file %s for %s" % (path, dev["name"]))
    layout = atdf_layout(path, dev["name"], False)
    layout.osccal = 0 if family == "ATxmega AVR" else OSCCAL.get(dev["name"], 16)
    return layout


# Where the hand-written layouts come from: the parts without a maker's
# device file here keep them.
HAND_SOURCES = {
    "AVR32": "the AT32UC3 datasheets (flash controller general-purpose fuses)",
    "STM32F0": "the STM32F0 reference manual (option bytes)",
    "STM32F1": "the STM32F1 reference manual (option bytes)",
    "Nuvoton": "the NuMicro technical reference manuals (CONFIG0 and CONFIG1)",
    "LPC1100": "the LPC111x user manual (code read protection)",
    "SAM D21": "the SAM D21 datasheet (NVM user row); no device file of the part here",
}


def hand_written(layout, family):
    layout.remarks.insert(0, "Hand-written from " + HAND_SOURCES[family])
    return layout


def avr32_layout(dev, family, atdf_dir):
    if dev["name"].startswith("AT32UC3"):
        return hand_written(uc3(dev), "AVR32")
    raise LayoutError("no AVR32 layout for %s" % dev["name"])


ARM_FAMILIES = {"STM32F0": stm32, "STM32F1": stm32, "Nuvoton": nuvoton, "LPC1100": lpc111x, "SAM D21": samd21}


def arm_layout(dev, family, atdf_dir):
    if family == "SAM D21":
        path = atdf_path(atdf_dir, dev["name"])
        if os.path.isfile(path):
            return atdf_layout(path, dev["name"], True)
    make = ARM_FAMILIES.get(family)
    if make is None:
        raise LayoutError("no ARM layout for family %s" % family)
    return hand_written(make(dev, family), family)


# ------------------------------------------------------------ the databases


def parse_number(text):
    text = text.strip()
    if text[:2].upper() == "&H":
        return int(text[2:], 16)
    return int(float(text))


def split_csv(line):
    """Fields of one record: commas separate, double quotes may enclose."""
    out, field, quoted, i = [], "", False, 0
    while i < len(line):
        c = line[i]
        if quoted:
            if c == '"':
                quoted = False
            else:
                field += c
        elif c == '"':
            quoted = True
        elif c == ",":
            out.append(field.strip())
            field = ""
        else:
            field += c
        i += 1
    out.append(field.strip())
    return out


def read_database(path):
    """Device records of the programmer types with fuses, in file order."""
    devices = []
    with open(path, encoding="latin-1") as f:
        lines = [ln.rstrip("\r\n") for ln in f]
    for line in lines[1:]:
        if not line.strip():
            continue
        r = split_csv(line)
        if len(r) != 10:
            raise LayoutError("%s: record of %d fields: %s" % (path, len(r), line))
        ptype = parse_number(r[0])
        if ptype not in (6, 7, 9):
            continue
        devices.append({"type": ptype, "family": r[1], "name": r[2], "flash": parse_number(r[3]),
                        "id": parse_number(r[5])})
    return devices


def family_indexes(devices, ptype):
    """Family index of each device as the program counts them: a new entry
    whenever the family changes between consecutive records of the type."""
    out, last, n = [], None, -1
    for d in devices:
        if d["type"] != ptype:
            continue
        if d["family"] != last:
            last = d["family"]
            n += 1
        out.append((d, n))
    return out


# ---------------------------------------------------------------- checking


def check_text(text, where):
    for bad in (",", '"', "%"):
        if bad in text:
            raise LayoutError("%s: text %r holds %r" % (where, text, bad))
    if text != text.strip() or not text:
        raise LayoutError("%s: empty text or surrounding blanks in %r" % (where, text))


def check_layout(layout, name):
    if not 1 <= len(layout.bytes) <= MAX_BYTES:
        raise LayoutError("%s: %d fuse bytes" % (name, len(layout.bytes)))
    if not 0 <= layout.osccal <= 255:
        raise LayoutError("%s: calibration mask %d" % (name, layout.osccal))
    for t in layout.remarks:
        check_text(t, name)
    for i, byte in enumerate(layout.bytes):
        where = "%s byte %d" % (name, i)
        check_text(byte.name, where)
        if not 1 <= len(byte.fields) <= MAX_FIELDS:
            raise LayoutError("%s: %d fields" % (where, len(byte.fields)))
        used = 0
        if len({f.name for f in byte.fields}) != len(byte.fields):
            raise LayoutError("%s: two fields of one name" % where)
        for f in byte.fields:
            fw = "%s field %s" % (where, f.name)
            check_text(f.name, fw)
            check_text(f.text, fw)
            if not 0 < f.mask <= 0xFF or f.mask & used:
                raise LayoutError("%s: mask &H%02X empty or overlapping" % (fw, f.mask))
            used |= f.mask
            if not 1 <= len(f.options) <= MAX_OPTIONS:
                raise LayoutError("%s: %d options" % (fw, len(f.options)))
            values = [v for _, v in f.options]
            if len(set(values)) != len(values):
                raise LayoutError("%s: an option value twice" % fw)
            texts = [t for t, _ in f.options]
            if len(set(texts)) != len(texts):
                raise LayoutError("%s: an option text twice" % fw)
            for text, v in f.options:
                check_text(text, fw)
                if v & ~f.mask:
                    raise LayoutError("%s: option %s outside the mask" % (fw, text))
            if f.default not in values:
                raise LayoutError("%s: default &H%02X is no option" % (fw, f.default))


# ----------------------------------------------------------------- writing


def block(dev_id, name, field3, layout):
    lines = ["ID%%%d%%%s%%%d%%%d" % (dev_id, name, field3, len(layout.bytes) - 1)]
    lines += ["REM%%%s%%%%%%" % t for t in layout.remarks]
    for i, byte in enumerate(layout.bytes):
        lines.append("BYTE%%%d%%%s%%%%" % (i, byte.name))
        for f in byte.fields:
            lines.append("FIELD%%%s%%%s%%&H%02X%%&H%02X" % (f.name, f.text, f.mask, f.default))
            for text, v in f.options:
                lines.append("OPTION%%%s%%&H%02X%%%%" % (text, v))
    lines.append("ENDID%%%%")
    return lines


def write_file(path, title, blocks):
    lines = ["REM%Generated by data/sources/make_fuses.py - edit the script and run it again%%%",
             "REM%%%s%%%%%%" % title,
             "REM%Fuse bits are 1 when unprogrammed; bits no FIELD covers stay 1%%%"]
    for b in blocks:
        lines += b
    lines.append("EOF%%%%")
    for ln in lines:
        if ln.count("%") != 4:
            raise LayoutError("record without five fields: %s" % ln)
    with open(path, "w", encoding="ascii", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")


# ------------------------------------------------------------------ trimming

XSI = "http://www.w3.org/2001/XMLSchema-instance"


def trim_file(src, dst):
    """A copy of a device file with only what describes the fuses and lock
    bits: the XML declaration and leading comments (the licence) verbatim,
    the device element, its fuse and lock address spaces, the instances and
    module register groups of those registers and the value groups they use."""
    with open(src, encoding="utf-8") as f:
        raw = f.read()
    head = re.match(r"\s*(<\?xml[^>]*\?>)?((?:\s*<!--.*?-->)*)", raw, re.S)
    root = ET.fromstring(raw)
    groups = fuse_groups(root)
    device = root.find("devices/device")

    out = ET.Element(root.tag, root.attrib)
    out_device = ET.SubElement(ET.SubElement(out, "devices"), "device", device.attrib)
    spaces = ET.SubElement(out_device, "address-spaces")
    wanted_spaces = {g[0] for g in groups}
    for s in device.find("address-spaces").findall("address-space"):
        if s.get("id") in wanted_spaces:
            spaces.append(s)
    peripherals = ET.SubElement(out_device, "peripherals")
    modules = ET.SubElement(out, "modules")
    done = {}
    for space, ref, module, group, peripheral, owner in groups:
        name = module.get("name")
        if name not in done:
            p = ET.SubElement(peripherals, "module", peripheral.attrib)
            m = ET.SubElement(modules, "module", module.attrib)
            done[name] = (p, m, {})
        p, m, instances = done[name]
        key = owner.get("name")
        if key not in instances:
            instances[key] = ET.SubElement(p, "instance", owner.attrib)
        instances[key].append(ref)
        m.append(group)
    for p, m, _ in done.values():
        used = {bf.get("values") for bf in m.iter("bitfield") if bf.get("values")}
        source = [x for x in root.find("modules").findall("module") if x.get("name") == m.get("name")][0]
        for vg in source.findall("value-group"):
            if vg.get("name") in used:
                m.append(vg)
    ET.register_namespace("xsi", XSI)
    ET.indent(out, space="  ")
    body = ET.tostring(out, encoding="unicode")
    text = ""
    if head.group(1):
        text += head.group(1) + "\n"
    if head.group(2).strip():
        text += head.group(2).strip("\r\n") + "\n"
    with open(dst, "w", encoding="utf-8", newline="\n") as f:
        f.write(text + body + "\n")


def trim(src_dir, dst_dir):
    os.makedirs(dst_dir, exist_ok=True)
    names = sorted(n for n in os.listdir(src_dir) if n.endswith(".atdf"))
    for n in names:
        trim_file(os.path.join(src_dir, n), os.path.join(dst_dir, n))
    print("%d device files trimmed into %s" % (len(names), dst_dir))


def main(argv):
    args = argv[1:]
    if args[:1] == ["--trim"]:
        if len(args) != 3:
            raise LayoutError("usage: make_fuses.py --trim FROM TO")
        trim(args[1], args[2])
        return 0
    atdf_dir = ATDF_DIR
    if "--atdf" in args:
        at = args.index("--atdf")
        if at + 1 >= len(args):
            raise LayoutError("--atdf needs a folder")
        atdf_dir = args[at + 1]
        del args[at:at + 2]
    data = os.path.abspath(args[0]) if args else os.path.dirname(HERE)
    databases = [(name, read_database(os.path.join(data, name))) for name in DATABASES]

    # One device id names one device of a type in every database.
    names = {}
    for dbname, devices in databases:
        for d in devices:
            key = (d["type"], d["id"])
            seen = names.setdefault(key, (d["name"], d["family"], d["flash"], dbname))
            if seen[:3] != (d["name"], d["family"], d["flash"]):
                raise LayoutError("type %d id %d is %s in %s but %s in %s" %
                                  (d["type"], d["id"], seen[0], seen[3], d["name"], dbname))

    outputs = []
    for ptype, file_name, title, make in (
            (6, "AVRFuses.inf", "AVR fuse layouts: byte 0 the lock bits", avr_layout),
            (7, "AVR32Fuses.inf", "AVR32 general-purpose fuse word: bytes 0..3 = bits 7..0 .. 31..24", avr32_layout),
            (9, "ARMFuses.inf", "ARM user configuration: an ID matches by device id and family index", arm_layout)):
        keys = set()
        for dbname, devices in databases:
            if ptype == 9:
                for d, index in family_indexes(devices, ptype):
                    keys.add((d["id"], index))
            else:
                for d in devices:
                    if d["type"] == ptype:
                        keys.add((d["id"], None))
        blocks = []
        for dev_id, index in sorted(keys, key=lambda k: (k[0], -1 if k[1] is None else k[1])):
            name, family, flash, _ = names[(ptype, dev_id)]
            dev = {"name": name, "family": family, "flash": flash, "id": dev_id}
            layout = make(dev, family, atdf_dir)
            check_layout(layout, name)
            blocks.append(block(dev_id, name, layout.osccal if index is None else index, layout))
        path = os.path.join(data, file_name)
        write_file(path, title, blocks)
        outputs.append("%s: %d blocks" % (file_name, len(blocks)))
    print("; ".join(outputs))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except LayoutError as e:
        sys.exit("make_fuses: %s" % e)

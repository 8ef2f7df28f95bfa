#!/usr/bin/env python3
"""Writes the fuse definition files that lie beside the programs.

    python3 data/sources/make_fuses.py [DATA_DIR]

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

The layouts below come from the devices' datasheets and reference manuals.
Every fuse bit is 1 when unprogrammed/erased; AVR fuse bits are active low,
so "programmed" is a 0 bit. Bits of a byte that no field covers read as 1.
Each field's default is its factory (or erased) setting.

Record format: five fields separated by four "%"; a record ends at the end
of its line or at a comma, so no text may hold a comma, a double quote or a
"%". Only the standard library is used, and the output is the same on every
run; the script stops with a message when a layout breaks a rule the
program relies on.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
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


# ----------------------------------------------------------------- AVR parts

LB = Field("LB", "Memory lock", 0x03, 0x03, [
    ("No lock", 0x03),
    ("Write locked", 0x02),
    ("Read and write locked", 0x00)])
BLB0 = Field("BLB0", "Boot lock - application section", 0x0C, 0x0C, [
    ("No restrictions", 0x0C),
    ("No SPM write", 0x08),
    ("No SPM write; no LPM read from boot", 0x00),
    ("No LPM read from boot", 0x04)])
BLB1 = Field("BLB1", "Boot lock - boot section", 0x30, 0x30, [
    ("No restrictions", 0x30),
    ("No SPM write", 0x20),
    ("No SPM write; no LPM read from app", 0x00),
    ("No LPM read from app", 0x10)])


def lock_byte(boot):
    return Byte("Lock bits", [LB, BLB0, BLB1] if boot else [LB])


def crystal(top="8-16MHz", label="Crystal"):
    """CKSEL 1000..1111: CKSEL3..1 the frequency range, CKSEL0 with SUT the start-up."""
    ranges = [(0b100, "Ceramic 0.4-0.9MHz"), (0b101, label + " 0.9-3MHz"),
              (0b110, label + " 3-8MHz"), (0b111, label + " " + top)]
    out = []
    for code, text in reversed(ranges):
        for c0 in (1, 0):
            out.append(("%s - CKSEL0=%d" % (text, c0), code << 1 | c0))
    return out


SUT_OPTIONS = [("SUT=00", 0), ("SUT=01", 1), ("SUT=10", 2), ("SUT=11", 3)]


def sut(default=0b10, shift=4):
    return choice("SUT", "Start-up time (see clock tables)", shift, 2, default, SUT_OPTIONS)


def cksel(options, default=0b0010, width=4):
    return choice("CKSEL", "Clock source", 0, width, default, options)


# Clock choices of the parts with a system clock prescaler (CKDIV8).
CK_MEGA = crystal() + [
    ("Full swing crystal - CKSEL0=1", 0b0111),
    ("Full swing crystal - CKSEL0=0", 0b0110),
    ("Low freq crystal - 32K CK", 0b0101),
    ("Low freq crystal - 1K CK", 0b0100),
    ("Int 128kHz RC", 0b0011),
    ("Int RC 8MHz", 0b0010),
    ("External clock", 0b0000)]
CK_USB = crystal() + [("Int RC 8MHz", 0b0010), ("External clock", 0b0000)]
CK_TINY85 = crystal("8MHz+") + [
    ("Low freq crystal 32kHz", 0b0110),
    ("Int 128kHz", 0b0100),
    ("Int 6.4MHz (ATtiny15 mode)", 0b0011),
    ("Int RC 8MHz", 0b0010),
    ("PLL 16MHz", 0b0001),
    ("External clock", 0b0000)]
CK_TINY24 = crystal("8MHz+") + [
    ("Low freq crystal 32kHz", 0b0110),
    ("Int 128kHz", 0b0100),
    ("Int RC 8MHz", 0b0010),
    ("External clock", 0b0000)]
CK_TINY261 = crystal("8MHz+") + [
    ("Low freq crystal 32kHz", 0b0100),
    ("Int 128kHz", 0b0011),
    ("Int RC 8MHz", 0b0010),
    ("PLL 16MHz", 0b0001),
    ("External clock", 0b0000)]
CK_TINY2313 = crystal("8MHz+") + [
    ("Int 128kHz", 0b0110),
    ("Int RC 8MHz", 0b0100),
    ("Int RC 4MHz", 0b0010),
    ("External clock", 0b0000)]
CK_TINY841 = crystal("8MHz+") + [
    ("Int ULP oscillator", 0b0100),
    ("Int RC 8MHz", 0b0010),
    ("External clock", 0b0000)]
# ATmega8A/16A/32A/64A/128A: CKOPT widens the crystal ranges.
CK_OLD = [
    ("Crystal 3-8MHz* - CKSEL0=1", 0b1111),
    ("Crystal 3-8MHz* - CKSEL0=0", 0b1110),
    ("Crystal 0.9-3MHz - CKSEL0=1", 0b1101),
    ("Crystal 0.9-3MHz - CKSEL0=0", 0b1100),
    ("Ceramic 0.4-0.9MHz - CKSEL0=1", 0b1011),
    ("Ceramic 0.4-0.9MHz - CKSEL0=0", 0b1010),
    ("Low freq crystal 32kHz", 0b1001),
    ("Ext RC 8-12MHz", 0b1000),
    ("Ext RC 3-8MHz", 0b0111),
    ("Ext RC 0.9-3MHz", 0b0110),
    ("Ext RC up to 0.9MHz", 0b0101),
    ("Int RC 8MHz", 0b0100),
    ("Int RC 4MHz", 0b0011),
    ("Int RC 2MHz", 0b0010),
    ("Int RC 1MHz", 0b0001),
    ("External clock", 0b0000)]

BOD3 = [("Disabled", 0b111), ("1.8 V", 0b110), ("2.7 V", 0b101), ("4.3 V", 0b100)]
BOD3_USB = [("Disabled", 0b111), ("2.0 V", 0b110), ("2.2 V", 0b101), ("2.4 V", 0b100),
            ("2.6 V", 0b011), ("3.4 V", 0b010), ("3.5 V", 0b001), ("4.3 V", 0b000)]


def bodlevel(options=BOD3, default=0b111, shift=0):
    return choice("BODLEVEL", "Brown-out level", shift, 3, default, options)


def low_byte(clock, default_cksel=0b0010, default_sut=0b10):
    return Byte("Low fuse", [
        flag("CKDIV8", "Divide clock by 8", 7, 0, "Divide by 8", "No division"),
        flag("CKOUT", "Clock output", 6, 1, "Clock output on", "Clock output off"),
        sut(default_sut),
        cksel(clock, default_cksel)])


def bootsz(flash_bytes, words, shift=1, default=0b00):
    """BOOTSZ1..0 = 11 is the smallest boot section; words lists 11, 10, 01, 00."""
    total = flash_bytes // 2
    opts = []
    for code, size in zip((0b11, 0b10, 0b01, 0b00), words):
        opts.append(("%d words @ &H%X" % (size, total - size), code))
    return choice("BOOTSZ", "Boot section size (word address)", shift, 2, default, opts)


def bootrst(bit=0):
    return flag("BOOTRST", "Reset vector", bit, 1, "Boot loader reset", "Application reset")


def rstdisbl(bit=7):
    return flag("RSTDISBL", "External reset disable", bit, 1, "Reset pin is I/O", "Reset pin enabled")


def dwen(bit=6):
    return enable("DWEN", "debugWIRE", bit, 1)


def spien(bit=5):
    return enable("SPIEN", "Serial programming", bit, 0)


def wdton(bit=4):
    return flag("WDTON", "Watchdog always on", bit, 1, "Always on", "Software controlled")


def eesave(bit=3):
    return flag("EESAVE", "Keep EEPROM on chip erase", bit, 1, "EEPROM kept", "EEPROM erased")


def selfprgen(bit=0):
    return enable("SELFPRGEN", "Self-programming", bit, 1)


# Boot section sizes in words for BOOTSZ = 11, 10, 01, 00.
BOOT_1K = (128, 256, 512, 1024)
BOOT_2K = (256, 512, 1024, 2048)
BOOT_4K = (512, 1024, 2048, 4096)


def mega_x8(dev):
    """ATmega48PA/88PA/168PA/328P/328PB."""
    name, flash = dev["name"], dev["flash"]
    small = name == "ATmega48PA"
    boot_in_high = name.startswith("ATmega328")
    high = [rstdisbl(), dwen(), spien(), wdton(), eesave()]
    if boot_in_high:
        high += [bootsz(flash, BOOT_2K), bootrst()]
    else:
        high += [bodlevel()]
    if small:
        ext = [selfprgen()]
    elif not boot_in_high:
        ext = [bootsz(flash, BOOT_1K), bootrst()]
    else:
        ext = []
        if name == "ATmega328PB":
            ext.append(flag("CFD", "Clock failure detection", 3, 0, "CFD disabled", "CFD enabled"))
        ext.append(bodlevel())
    return Layout(16, [lock_byte(not small), low_byte(CK_MEGA), Byte("High fuse", high),
                       Byte("Extended fuse", ext)])


def mega_x4(dev):
    """ATmega164PA/324PA/644PA/1284P and ATmega1280/2560/2560V."""
    flash = dev["flash"]
    words = BOOT_1K if flash <= 16384 else BOOT_2K if flash <= 32768 else BOOT_4K
    high = [enable("OCDEN", "On-chip debug", 7, 1), enable("JTAGEN", "JTAG interface", 6, 0),
            spien(), wdton(), eesave(), bootsz(flash, words), bootrst()]
    return Layout(16, [lock_byte(True), low_byte(CK_MEGA), Byte("High fuse", high),
                       Byte("Extended fuse", [bodlevel()])])


def mega_u4(dev):
    """ATmega32U4: shipped with a DFU boot loader running from the crystal."""
    high = [enable("OCDEN", "On-chip debug", 7, 1), enable("JTAGEN", "JTAG interface", 6, 0),
            spien(), wdton(), eesave(), bootsz(dev["flash"], BOOT_2K), bootrst()]
    ext = [flag("HWBE", "Hardware boot enable", 3, 0, "HWB pin enabled", "HWB pin disabled"),
           bodlevel(BOD3_USB, 0b011)]
    return Layout(16, [lock_byte(True), low_byte(CK_USB, 0b1110, 0b01), Byte("High fuse", high),
                       Byte("Extended fuse", ext)])


def old_low_byte():
    return Byte("Low fuse", [
        flag("BODLEVEL", "Brown-out level", 7, 1, "4.0 V", "2.7 V"),
        flag("BODEN", "Brown-out detection", 6, 1, "BOD enabled", "BOD disabled"),
        sut(),
        cksel(CK_OLD, 0b0001)])


def ckopt(bit=4):
    return flag("CKOPT", "Oscillator options", bit, 1, "Programmed", "Unprogrammed")


def mega_old(dev):
    """ATmega8A, ATmega16A/32A, ATmega64A/128A: calibrated RC at 1/2/4/8 MHz."""
    name, flash = dev["name"], dev["flash"]
    words = BOOT_1K if flash <= 16384 else BOOT_2K if flash <= 32768 else BOOT_4K
    if name == "ATmega8A":
        high = [rstdisbl(), flag("WDTON", "Watchdog always on", 6, 1, "Always on", "Software controlled"),
                spien(), ckopt(), eesave(), bootsz(flash, words), bootrst()]
    else:
        high = [enable("OCDEN", "On-chip debug", 7, 1), enable("JTAGEN", "JTAG interface", 6, 0),
                spien(), ckopt(), eesave(), bootsz(flash, words), bootrst()]
    out = [lock_byte(True), old_low_byte(), Byte("High fuse", high)]
    if flash > 32768:
        out.append(Byte("Extended fuse", [
            flag("M103C", "ATmega103 compatibility", 1, 0, "ATmega103 mode", "Native mode"),
            flag("WDTON", "Watchdog always on", 0, 1, "Always on", "Software controlled")]))
    return Layout(15, out, ["* With CKOPT programmed the top crystal range is 1MHz and up"])


def tiny_std(clock, ext_fields):
    """High fuse RSTDISBL DWEN SPIEN WDTON EESAVE BODLEVEL; low fuse with CKDIV8."""
    high = [rstdisbl(), dwen(), spien(), wdton(), eesave(), bodlevel()]
    return [lock_byte(False), low_byte(clock), Byte("High fuse", high), Byte("Extended fuse", ext_fields)]


def tiny85(dev):
    return Layout(16, tiny_std(CK_TINY85, [selfprgen()]))


def tiny24(dev):
    return Layout(16, tiny_std(CK_TINY24, [selfprgen()]))


def tiny261(dev):
    return Layout(16, tiny_std(CK_TINY261, [selfprgen()]))


def tiny2313(dev):
    # Calibrated internal oscillator at 8 MHz and at 4 MHz.
    high = [dwen(7), eesave(6), spien(5), wdton(4), bodlevel(shift=1), rstdisbl(0)]
    return Layout(12, [lock_byte(False), low_byte(CK_TINY2313, 0b0100), Byte("High fuse", high),
                       Byte("Extended fuse", [selfprgen()])])


BOD_MODE = [("Disabled", 0b11), ("Enabled", 0b10), ("Sampled", 0b01)]


def tiny841(dev):
    """ATtiny441/841 and ATtiny1634: one SUT bit; BOD modes in the extended fuse."""
    low = Byte("Low fuse", [
        flag("CKDIV8", "Divide clock by 8", 7, 0, "Divide by 8", "No division"),
        flag("CKOUT", "Clock output", 6, 1, "Clock output on", "Clock output off"),
        flag("SUT", "Start-up time (see clock tables)", 4, 0, "SUT=0", "SUT=1"),
        cksel(CK_TINY841)])
    ext = [choice("BODPD", "BOD in sleep", 3, 2, 0b11, BOD_MODE),
           choice("BODACT", "BOD when active", 1, 2, 0b11, BOD_MODE),
           selfprgen()]
    if dev["name"] != "ATtiny1634":
        ext.insert(0, choice("ULPOSCSEL", "ULP oscillator frequency", 5, 3, 0b111, [
            ("32 kHz", 0b111), ("64 kHz", 0b110), ("128 kHz", 0b101), ("256 kHz", 0b100), ("512 kHz", 0b011)]))
    high = [rstdisbl(), dwen(), spien(), wdton(), eesave(), bodlevel()]
    return Layout(16, [lock_byte(False), low, Byte("High fuse", high), Byte("Extended fuse", ext)])


def tiny13(dev):
    """ATtiny13A: two fuse bytes; calibrated RC at 9.6 and 4.8 MHz (one oscillator)."""
    low = Byte("Low fuse", [
        spien(7), eesave(6), wdton(5),
        flag("CKDIV8", "Divide clock by 8", 4, 0, "Divide by 8", "No division"),
        sut(shift=2),
        cksel([("Int 128kHz", 0b11), ("Int RC 9.6MHz", 0b10), ("Int RC 4.8MHz", 0b01),
               ("External clock", 0b00)], 0b10, 2)])
    high = Byte("High fuse", [
        selfprgen(4), dwen(3),
        choice("BODLEVEL", "Brown-out level", 1, 2, 0b11,
               [("Disabled", 0b11), ("1.8 V", 0b10), ("2.7 V", 0b01), ("4.3 V", 0b00)]),
        rstdisbl(0)])
    return Layout(16, [lock_byte(False), low, high])


def tiny_tpi(dev):
    """TPI parts: the non-volatile lock bits and one configuration byte."""
    nvlb = Field("NVLB", "Memory lock", 0x03, 0x03, [
        ("No lock", 0x03), ("Write locked", 0x02), ("Read and write locked", 0x00)])
    config = [rstdisbl(0), flag("WDTON", "Watchdog always on", 1, 1, "Always on", "Software controlled"),
              flag("CKOUT", "Clock output", 2, 1, "Clock output on", "Clock output off")]
    if dev["name"] in ("ATtiny102", "ATtiny104"):
        config.append(enable("SELFPROGEN", "Self-programming", 3, 1))
    return Layout(16, [Byte("Lock bits", [nvlb]), Byte("Configuration byte", config)])


# -------------------------------------------------------------------- XMEGA

WDT_PERIODS = [("8 CLK (8 ms)", 0), ("16 CLK", 1), ("32 CLK", 2), ("64 CLK", 3), ("128 CLK", 4),
               ("256 CLK", 5), ("512 CLK", 6), ("1K CLK", 7), ("2K CLK", 8), ("4K CLK", 9),
               ("8K CLK (8 s)", 10)]
XBOD_MODE = [("BOD disabled", 0b11), ("BOD continuous", 0b10), ("BOD sampled", 0b01)]
XBODLEVEL = [("1.6 V", 7), ("1.8 V", 6), ("2.0 V", 5), ("2.2 V", 4), ("2.4 V", 3), ("2.6 V", 2),
             ("2.8 V", 1), ("3.0 V", 0)]
XLOCK = [("No lock", 0b11), ("Write lock", 0b10), ("Read lock", 0b01), ("Read and write lock", 0b00)]


def xmega(dev):
    """Byte 0 the lock bits, bytes 1..7 FUSEBYTE0..FUSEBYTE6."""
    name = dev["name"]
    series = "E" if name.endswith("E5") else "D" if "D" in name[7:] else "A"
    jtag = series == "A"
    lock = Byte("Lock bits", [
        choice("BLBB", "Boot lock - boot section", 6, 2, 0b11, XLOCK),
        choice("BLBA", "Boot lock - application", 4, 2, 0b11, XLOCK),
        choice("BLBAT", "Boot lock - application table", 2, 2, 0b11, XLOCK),
        choice("LB", "Memory lock", 0, 2, 0b11,
               [("No lock", 0b11), ("Write locked", 0b10), ("Read and write locked", 0b00)])])
    if jtag:
        fb0 = Byte("FUSEBYTE0", [every_value("JTAGUID", "JTAG user ID", 0, 8, 0xFF)])
    else:
        fb0 = Byte("FUSEBYTE0 (reserved)", [reserved("RESERVED", 0xFF, 0xFF)])
    fb1 = Byte("FUSEBYTE1", [
        choice("WDWPER", "Watchdog window period", 4, 4, 0, WDT_PERIODS),
        choice("WDPER", "Watchdog period", 0, 4, 0, WDT_PERIODS)])
    fb2 = Byte("FUSEBYTE2", [
        flag("BOOTRST", "Reset vector", 6, 1, "Boot loader reset", "Application reset"),
        choice("BODPD", "BOD in power-down", 0, 2, 0b11, XBOD_MODE)])
    fb3 = Byte("FUSEBYTE3 (reserved)", [reserved("RESERVED", 0xFF, 0xFF)])
    fb4 = [flag("RSTDISBL", "External reset disable", 4, 1, "Reset pin disabled", "Reset pin enabled"),
           choice("STARTUPTIME", "Start-up time", 2, 2, 0b11,
                  [("0 ms", 0b11), ("4 ms", 0b01), ("64 ms", 0b00)]),
           flag("WDLOCK", "Watchdog lock", 1, 1, "Locked", "Unlocked")]
    if jtag:
        fb4.append(enable("JTAGEN", "JTAG interface", 0, 0))
    fb5 = Byte("FUSEBYTE5", [
        choice("BODACT", "BOD when active", 4, 2, 0b11, XBOD_MODE),
        flag("EESAVE", "Keep EEPROM on chip erase", 3, 1, "EEPROM kept", "EEPROM erased"),
        choice("BODLEVEL", "Brown-out level", 0, 3, 0b111, XBODLEVEL)])
    out = [lock, fb0, fb1, fb2, fb3, Byte("FUSEBYTE4", fb4), fb5]
    if series == "E":
        out.append(Byte("FUSEBYTE6", [
            flag("FDACT5", "Fault action on TC5", 7, 1, "Fault action on", "No fault action"),
            flag("FDACT4", "Fault action on TC4", 6, 1, "Fault action on", "No fault action"),
            every_value("VALUE", "Fault output values", 0, 6, 0x3F)]))
    return Layout(0, out)


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

AVR_LAYOUTS = [
    (("ATmega8A", "ATmega16A", "ATmega32A", "ATmega64A", "ATmega128A"), mega_old),
    (("ATmega48PA", "ATmega88PA", "ATmega168PA", "ATmega328P", "ATmega328PB"), mega_x8),
    (("ATmega164PA", "ATmega324PA", "ATmega644PA", "ATmega1284P", "ATmega1280", "ATmega2560", "ATmega2560V"),
     mega_x4),
    (("ATmega32U4",), mega_u4),
    (("ATtiny4", "ATtiny5", "ATtiny9", "ATtiny10", "ATtiny20", "ATtiny40", "ATtiny102", "ATtiny104"), tiny_tpi),
    (("ATtiny13A",), tiny13),
    (("ATtiny25", "ATtiny45", "ATtiny85"), tiny85),
    (("ATtiny24A", "ATtiny44A", "ATtiny84A"), tiny24),
    (("ATtiny261A", "ATtiny461A", "ATtiny861A"), tiny261),
    (("ATtiny2313A", "ATtiny4313"), tiny2313),
    (("ATtiny441", "ATtiny841", "ATtiny1634"), tiny841),
]


def avr_layout(dev, family):
    if family == "ATxmega AVR":
        return xmega(dev)
    for names, make in AVR_LAYOUTS:
        if dev["name"] in names:
            return make(dev)
    raise LayoutError("no AVR layout for %s" % dev["name"])


def avr32_layout(dev, family):
    if dev["name"].startswith("AT32UC3"):
        return uc3(dev)
    raise LayoutError("no AVR32 layout for %s" % dev["name"])


ARM_FAMILIES = {"STM32F0": stm32, "STM32F1": stm32, "Nuvoton": nuvoton, "LPC1100": lpc111x, "SAM D21": samd21}


def arm_layout(dev, family):
    make = ARM_FAMILIES.get(family)
    if make is None:
        raise LayoutError("no ARM layout for family %s" % family)
    return make(dev, family)


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


def main(argv):
    data = os.path.abspath(argv[1]) if len(argv) > 1 else os.path.dirname(HERE)
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
            layout = make(dev, family)
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

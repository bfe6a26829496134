#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into tests/fuzz/corpus/.

Run it again after changing the seeds below; the files it writes are the
ones checked in. The report lines are those the simulated modems send
(tools/modem-sim/README.md), with the variants the parsers read
differently, the acknowledgements, rejections, and broken lines.
"""
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

# ---- Modem lines -----------------------------------------------------------

S_REPORT = [
    "F/W Ver = 1.3",
    "Source ID = 100001",
    "Destination ID = 16777215, Table = 0, Entry = 0",
    "Main   PID = 1",
    "LoRa   PID = 2",
    "Serial PID = 3",
    "Country = KOR",
    "Channel = 1, Spreading Factor = 7",
    "Encryption = OFF",
    "Port Type = Kivet",
    "Peer to Peer = OFF",
    "Message Timeout = 100 ms, Size = 116 bytes",
    "STX Length = 0, STX1 = 0x02, STX2 = 0x00, STX3 = 0x00",
    "ETX Length = 0, ETX1 = 0x03, ETX2 = 0x00, ETX3 = 0x00",
    "Baudrate = 9600 bps, Parity = None, Data Bit = 8",
    "Stop Bit = 1, Hardware Flow Control = OFF",
]
S_REPORT_VARIANT = [
    "F/W Ver = 1.0",
    "Source ID = 200001",
    "Destination ID = 7, Table = 3, Entry = 12",
    "Country = JPN",
    "Channel = 9, Bandwidth = 125 kHz, SF = 11",
    "Encryption = ON",
    "AES KEY = ****************(Default)",
    "AES IV = 0123456789abcdef",
    "Port Type = Normal",
    "Peer to Peer = ON",
    "Message Timeout = 2,550 ms, Size = 0 bytes",
    "STX Length = 3, STX1 = 0x02, STX2 = 0x0A, STX3 = 0xFF",
    "ETX Length = 2, ETX1 = 0x03, ETX2 = 0x0D, ETX3 = 0x00",
    "Baudrate = 921600 bps, Parity = Even, Data Bit = 8",
    "Stop Bit = 1, Hardware Flow Control = RTS/CTS",
]
S_EXPORT = [
    "USA F/W Ver = 1.2",
    "Country = USA",
    "Channel = 20, Spreading Factor = 12",
    "JAPAN F/W Ver = 1.2",
    "Country = JPN",
    "Channel = 9, Spreading Factor = 11",
    "Country = XYZ",
]
S_ACKS = [
    "OK. AES OFF",
    "OK. AES ON",
    "OK. Spreading Factor=7",
    "OK. ETX Length=0",
    "OK. ETX Length=2",
    "OK, STX1=02, STX2=0A",
    "OK, ETX1=03",
    "OK, AES IV",
    "OK, AES KEY",
    "OK. Channel=5",
    "OK. Destination ID=7",
    "OK. PID2=1234",
    "OK. System Reset",
    "OK. Factory Default",
    "OK. Frequency Offset=-250",
]
R_REPORT = [
    "F/W Ver = 1.3",
    "Source ID = 300001",
    "Country = KOR",
    "Channel = 1, Spreading Factor = 7",
    "Mode = Repeat",
    "       Relay ID 1 = 1",
    "       Relay ID 2 = 2",
]
R_VARIANT = [
    "Country = USA",
    "Channel = 20, Spreading Factor = 12",
    "Mode = Relay",
    "       Relay ID 1 = 16777215",
    "       Relay ID 2 = 0000042",
    "Mode = Other",
    "Relay ID 1 = 5",
    "OK. Spreading Factor=9",
    "OK. Mode=Relay",
]
I_REPORT = [
    "F/W Version 1.3",
    "Source ID  = 400001",
    "Channel = 1, Band = 7, Spreading Factor = 7",
    "Encryption OFF",
    "Port Type Kivet",
    "Dummy Destination ID  = 16777215",
    "BaudRate = 9600 bps, Parity = None",
    "Data Bit = 8, Stop Bit = 1",
    "Hardware Flow Control = OFF",
    "Message Timeout = 100 ms, Size = 116 bytes",
    "STX Length = 0, STX1 = 0x02, STX2 = 0x00, STX3 = 0x00",
    "ETX Length = 0, ETX1 = 0x03, ETX2 = 0x00, ETX3 = 0x00",
]
I_RS485 = [" " + line for line in I_REPORT[4:]]
I_RS485[4] = " Hardware Flow Control = RTS/CTS"
I_OTHER = [
    "F/W Version 1.2 USA",
    "Encryption ON",
    "AESKEY: ****************(Default)",
    "AESIV: fedcba9876543210",
    "OK, AES IV",
    "AT Mode On",
    "AT Mode Off",
    "AT Mode On Invalid",
    "OK. Band=7",
    "OK. 485 Baudrate=9600",
    "OK, 485 STX1=02",
]
REJECTIONS = [
    "Invalid Command : AT+CH=99",
    "Invalid Command : AT&V",
    "ERROR : Invalid Command for rTavi : AT&E",
    "ERROR : Invalid Command : AT&V",
    "ERROR : Invalid Command : AT&V AT&E",
    "Source ID = 1 Invalid",
]
TRUNCATED = [
    "Channel",
    "Channel = 1",
    "Channel = x, Spreading Factor = 7",
    "Channel = 1, Spreading Factor = seven",
    "Channel = 99999999999, Spreading Factor = -2147483648",
    "STX Length",
    "STX Length = 2, STX1",
    "STX Length = 9, STX1 = 0x02, STX2 = 0x03, STX3 = 0x00",
    "ETX Length = -1",
    "Stop Bit",
    "Stop Bit = 1,",
    "Baudrate",
    "Baudrate = ,,,,,,,,,,",
    "Destination ID =",
    "Message",
    "F/W Ver",
    "USA F/W",
    "JAPAN F/W Ver = ",
    "Source ID",
    "Mode",
    "Country",
    "AES KEY",
    "Encryption",
    "Port Type",
    "Peer",
    "Data Bit",
    "Hardware",
    " BaudRate",
    " STX Length = 1",
    '"Channel" = "1", SF = "7""',
]


def lines(items, end="\r\n"):
    return "".join(item + end for item in items).encode("latin-1")


# ---- Receive target ----------------------------------------------------------
# Header: family/flags, chunk seed, padding (see fuzz_receive.cpp).
S, U, R, I, NONE = 0, 1, 2, 3, 4
CONNECTED, NESTED, TIME, OPERATOR, READ_FAILS = 0x08, 0x10, 0x20, 0x40, 0x80


def receive(flags, seed, body, pad=0):
    return bytes([flags, seed, pad]) + body


def first_draw(seed, n):
    """The first number below n that fuzz_receive's generator draws."""
    x = (0x9E3779B9 ^ (seed * 0x01000193)) & 0xFFFFFFFF
    x ^= (x << 13) & 0xFFFFFFFF
    x ^= x >> 17
    x ^= (x << 5) & 0xFFFFFFFF
    return x % n


def seed_with_width(size_class, width_index):
    """A chunk seed of a size class (0 to 7) whose pane width is the one of
    index width_index (0: no wrapping, 1: one character, 2: 97)."""
    for low in range(1, 32):
        seed = size_class << 5 | low
        if first_draw(seed, 3) == width_index:
            return seed
    raise ValueError("no such seed")


def receive_seeds():
    seeds = {}
    families = {
        "s": (S, S_REPORT), "u": (U, S_REPORT), "r": (R, R_REPORT), "i": (I, I_REPORT)}
    for name, (family, report) in families.items():
        body = lines(report)
        seeds[f"{name}_report_whole"] = receive(family | CONNECTED, 0, body)
        seeds[f"{name}_report_bytewise"] = receive(family | CONNECTED, 0x01, body)
        seeds[f"{name}_report_small_chunks"] = receive(family | CONNECTED | TIME, 0x67, body)
        seeds[f"{name}_report_lf_only"] = receive(family, 0x85, lines(report, "\n"))
        seeds[f"{name}_report_disconnected"] = receive(family, 0xA3, body)
    seeds["s_report_variant"] = receive(S | CONNECTED, 0x45, lines(S_REPORT_VARIANT))
    seeds["s_export_firmware"] = receive(S | CONNECTED, 0x29, lines(S_EXPORT))
    seeds["s_acks"] = receive(S | CONNECTED | NESTED, 0x31, lines(S_ACKS))
    seeds["s_acks_fw11"] = receive(S | CONNECTED, 0, lines(["F/W Ver = 1.1", "STX Length = 2"] + S_ACKS))
    seeds["u_rejections"] = receive(U | CONNECTED | NESTED, 0x13, lines(REJECTIONS))
    seeds["r_variant"] = receive(R | CONNECTED | TIME, 0x52, lines(R_VARIANT))
    seeds["r_rejections"] = receive(R | CONNECTED, 0, lines(REJECTIONS))
    seeds["i_rs485"] = receive(I | CONNECTED, 0x88, lines(I_RS485))
    seeds["i_other"] = receive(I | CONNECTED | NESTED, 0x0B, lines(I_OTHER + REJECTIONS))
    seeds["none_report"] = receive(NONE, 0x77, lines(S_REPORT + R_REPORT))
    for name, family in (("s", S), ("r", R), ("i", I)):
        seeds[f"{name}_truncated"] = receive(family | CONNECTED, 0x24, lines(TRUNCATED))
        seeds[f"{name}_truncated_nested"] = receive(family | NESTED | CONNECTED, 0x00, lines(TRUNCATED))
    # Another family's report: the device-choice messages.
    seeds["s_reads_ioTavi"] = receive(S | CONNECTED | NESTED, 0x3C, lines(I_REPORT))
    seeds["i_reads_sTavi"] = receive(I | CONNECTED | NESTED, 0x5D, lines(S_REPORT))
    seeds["r_reads_ioTavi"] = receive(R | CONNECTED, 0x6E, lines(I_REPORT))
    # The watchdog and the AES timer, the operator moving between pages.
    seeds["s_timers_operator"] = receive(S | CONNECTED | TIME | OPERATOR, 0x9F, lines(S_REPORT[:3]))
    seeds["i_operator"] = receive(I | CONNECTED | OPERATOR | NESTED, 0x41, lines(I_REPORT + I_RS485))
    seeds["s_read_fails"] = receive(S | CONNECTED | READ_FAILS, 0x66, lines(S_REPORT))
    # Line ends and NUL bytes.
    seeds["s_partial_then_answer"] = receive(S | CONNECTED, 0x02, b"OK. A" + lines(["ES OFF", "Source ID = 1"]))
    seeds["s_no_final_lf"] = receive(S, 0x21, lines(S_REPORT[:4]) + b"Channel = 1, Spreading")
    seeds["s_cr_only"] = receive(S, 0x03, b"F/W Ver = 1.3\rSource ID = 1\r\n\r\n\n\n")
    seeds["s_nul"] = receive(S | CONNECTED, 0x00, b"Source ID = 1\x002345\r\nChannel = 1\r\nF/W Ver = 1.3\r\n")
    seeds["i_nul_chunks"] = receive(I, 0x44, b"\x00\n" + lines(I_REPORT[:3]) + b"Port\x00 Type Kivet\r\n")
    # Over-long lines: more than 8192 bytes without a line feed, then the
    # next line. The padding byte makes the long lines (n * 40 bytes "A"),
    # the body ends them: the fragment past the cut starts with a keyword.
    seeds["s_overlong_keyword"] = receive(
        S | CONNECTED, 0xC5, b"Source ID = 1\r\n" + lines(S_REPORT[:2]), pad=205)
    seeds["s_longest_line"] = receive(S, 0xE1, b"F" * 31 + b"\n" + lines(["OK. AES OFF"]), pad=204)
    seeds["s_one_byte_too_long"] = receive(S, 0xE1, b"F" * 32 + b"\n" + lines(["OK. AES OFF"]), pad=204)
    seeds["r_overlong_pad"] = receive(R | CONNECTED, 0x00, b"\r\n" + lines(R_REPORT), pad=231)
    seeds["i_overlong_pad_chunks"] = receive(I, 0xD7, lines(I_REPORT[:2]), pad=210)
    # A pane one character wide: every byte a displayed line, so the
    # received lines alone reach the pane's bound (8160 from the padding).
    seeds["s_pane_bound"] = receive(
        S, seed_with_width(6, 1), b"\r\n" + b"R" * 2000 + b"\r\n" + lines(S_REPORT[:1]), pad=204)
    seeds["none_pane_bound"] = receive(
        NONE, seed_with_width(7, 1), b"\n" + b"x" * 1900 + b"\r\n" + b"x" * 1000 + b"\n", pad=204)
    # Found by fuzzing, kept as found (every flag set): a send purges the
    # port between two reads.
    seeds["s_purge_between_reads"] = bytes.fromhex(
        "ffdfffffffffffffffffffffffffff03000000ffffffffffffffab46460d75"
        "726365204944203d20300d0a")
    # A rejected status query is asked again from its line's handler while
    # the acknowledgement's message box has let the next read in: that
    # purge ends the line, and the rest of both reads (a NUL, a fragment)
    # is echoed as it came; the next read starts a line of its own.
    seeds["s_purge_in_handler"] = receive(
        S | CONNECTED | NESTED, 0xA8,
        b"OK. AES OFF\r\nERROR : Invalid Command : AT&V\r\nSource\x00 ID = 1\r\nCha"
        b"nnel = 1\r\nSource ID = 5\r\n")
    # The ioTavi report in small chunks as a fuzzing run mangled it: a digit
    # before "Version", NULs inside "BaudRate", "rone" and "St\xefp", the
    # last line cut by binary bytes. A fuzzing run on a loaded machine took
    # it for slower than 10 ms; alone it costs what its unmangled sibling
    # costs.
    mangled = bytearray(lines(I_REPORT))
    for old, new in ((b"F/W Version", b"F/W 0Version"), (b"BaudRate", b"Ba" + b"\0" * 8 + b"udRate"),
                     (b"Parity = None", b"Parity = rone"), (b"Stop Bit", b"St\xefp Bit"),
                     (b"ETX1 = 0x03, ETX2", b"ETX1 = 0Z\x1a\x14\0``\0\x002")):
        mangled = mangled.replace(old, new, 1)
    seeds["i_report_mangled"] = receive(I | CONNECTED | TIME, 0x67, bytes(mangled))
    # The time of an ordinary input near the largest (4 KB) that scripts/fuzz
    # measures the others against.
    seeds["calibration"] = receive(I | CONNECTED | TIME, 0x67, lines(I_REPORT) * 10)
    return seeds


# ---- INI target --------------------------------------------------------------

def ini_seeds():
    tool = ("[MACHINE]\r\nDevice=s\r\nSaveLogTrace=0\r\nViewTraceMenu=0\r\nViewLogTrace=0\r\n"
            "[EnvBoard]\r\nComPort=COM1\r\nBaudRate=9600\r\nDataBits=8\r\nStopBits=1\r\nParity=None\r\n")
    return {
        "tool_written": tool.encode(),
        "tool_lf": tool.replace("\r\n", "\n").encode(),
        "no_final_line_end": b"[MACHINE]\nDevice=r\nViewTraceMenu=1",
        "comments": b"; Velimo settings\r\n# written by hand\r\n[MACHINE] ; the window\r\n"
                    b"Device = i ; not a comment here\r\n;SaveLogTrace=1\r\n",
        "odd_spacing": b"  [ machine ]  \n\tdevice\t=\t u \n  savelogtrace=   1   \n[ENVBOARD]\nComPort   =   /dev/ttyUSB0\n",
        "duplicates": b"[MACHINE]\nDevice=s\nDevice=r\n[machine]\nDevice=i\nViewLogTrace=1\n[MACHINE]\nSaveLogTrace=1\n",
        "quotes": b"[EnvBoard]\nComPort=\"COM3\"\nParity='Odd'\nBaudRate=\"\nStopBits=''\nDataBits=\"8'\n",
        "keys_before_section": b"Device=r\n=value\n[]\nkey=empty section\n[EnvBoard\nComPort=COM9\n",
        "empty_values": b"[MACHINE]\nDevice=\nSaveLogTrace=   \r\nViewTraceMenu\n",
        "garbage": b"\x00\xff[MA\x00CHINE]\r\r\n\rDevice=s\r\x00\n[EnvBoard]]\nBaudRate=57600=115200\n",
        "long_value": b"[EnvBoard]\nComPort=" + b"x" * 2100 + b"\nBaudRate=Custom\n",
        "mixed_line_ends": b"[MACHINE]\r\nDevice=u\n[EnvBoard]\r\nComPort=COM2\nParity=Even\r\n",
        "with_settings": tool.encode() + b"\x1eMACHINE\x1fDevice\x1fi\x1enew section\x1fnew key\x1f value "
                         b"\x1eEnvBoard\x1fComPort\x1f\"/dev/ttyACM0\"",
        "settings_odd": b"[a]\nb=c\n\x1ea\x1fB\x1fline\r\nend\x1e[x\x1fy\x1fz\x1ea\x1f=k\x1fv\x1e\x1f\x1f",
        "byte_order_mark": b"\xef\xbb\xbf[MACHINE]\r\nDevice=u\r\n[MACHINE]\r\nSaveLogTrace=1\r\n"
                           b"\x1eMACHINE\x1fSaveLogTrace\x1f1",
        "empty": b"",
        "calibration": calibration_ini(tool),
    }


def calibration_ini(tool):
    """An ordinary settings file near the largest input (4 KB), with
    settings to make."""
    text = tool
    for n in range(1, 48):
        text += f"[Profile {n}]\r\nComPort=/dev/ttyUSB{n}\r\nBaudRate=115200\r\nParity=Even\r\n"
    sets = "".join(f"\x1eProfile {n}\x1fBaudRate\x1f{9600 * n}" for n in range(1, 9))
    return (text + sets).encode()


# ---- Text target -------------------------------------------------------------

def text_seeds():
    seeds = {}
    for i, line in enumerate(S_REPORT + R_REPORT[4:] + I_REPORT[:4] + TRUNCATED[:6]):
        seeds[f"line_{i:02d}"] = (line + "\r\n").encode("latin-1")
    seeds.update({
        "tokens_example": b"A = 1 ,B=2",
        "tokens_comma": b"A = 1, B=2",
        "comma_spacing": b"1,2,,3",
        "double_equals": b"a==b",
        "trailing_equals": b"a=",
        "blanks_only": b" \t\r\n ",
        "quoted": b'"a b" = "say ""hi""" "unclosed',
        "nul_inside": b"Baud\x00rate = 9600",
        "ints": b" +2147483647 ",
        "int_min": b"-2147483648",
        "int_over": b"2147483648",
        "int_bad": b"1.5",
        "baud_trailing_blank": b"9600 ",
        "parity_even": b"Even",
        "parity_lower": b"even",
        "digits": b"2,550 ms",
        "replace_case": b"abcabcab\x1fab\x1fxyz",
        "replace_shrink": b"aaaaaaa\x1faa\x1f",
        "replace_overlap": b"AT&VAT&V AT\x1fAT&V\x1fAT&VAT&V",
        "replace_no_find": b"text\x1f",
    })
    # Near the largest input (4 KB): report lines of every family.
    seeds["calibration"] = lines(S_REPORT + R_REPORT + I_REPORT) * 3
    return seeds


def telnet_seeds():
    """A server's side of a network port: a piece-size seed byte, then the
    server's bytes (agreement, port-control answers, reports, data)."""
    IAC, SB, SE, WILL, WONT, DO, DONT = 255, 250, 240, 251, 252, 253, 254

    def sub(command, value):
        body = bytes([44, command]) + value.replace(b"\xff", b"\xff\xff")
        return bytes([IAC, SB]) + body + bytes([IAC, SE])

    agree = bytes([IAC, DO, 0, IAC, WILL, 0, IAC, DO, 3, IAC, WILL, 3])
    answers = (sub(101, b"\x00\x00\xe1\x00") + sub(102, b"\x08") + sub(103, b"\x01")
               + sub(104, b"\x01") + sub(105, b"\x03") + sub(112, b"\x03"))
    report = b"".join((line + "\r\n").encode("latin-1") for line in S_REPORT)
    return {
        "agreement_and_answers": b"\x01" + agree + answers,
        "report_binary": b"\x07" + agree + report,
        "report_not_binary": b"\x03" + report.replace(b"\r", b"\r\x00"),
        "ff_in_data": b"\x05" + agree + b"A\xff\xffB\r\n" + sub(101, b"\x00\x00\x00\xff"),
        "reports": b"\x02" + sub(106, b"\x1e") + sub(107, b"\xf0") + sub(108, b"") + sub(109, b""),
        "unknown_options": b"\x09" + bytes([IAC, DO, 24, IAC, WILL, 1, IAC, DO, 24, IAC, DONT, 44]),
        "truncated_sb": b"\x04" + bytes([IAC, SB, 44, 101, 0, 0]) + b"ok\r\n",
        "command_in_sb": b"\x06" + bytes([IAC, SB, 44, 101, IAC, WILL, 0]) + b"x\r\n",
        "overlong_sb": b"\x08" + bytes([IAC, SB, 44, 101]) + b"q" * 300 + bytes([IAC, SE]) + b"k",
        "binary_off_again": b"\x0a" + agree + bytes([IAC, WONT, 0]) + b"\r\x00\r\n",
        # Near the largest input (4 KB): the agreement, then reports.
        "calibration": b"\x07" + agree + answers + report * 7,
        # Floods (top bit of the first byte; 0x40 from the connection on,
        # 0x20 a purge halfway): the rest sent over and over.
        "flood_will5": b"\x81" + bytes([IAC, WILL, 5]),
        "flood_nop_at_once": b"\xc1" + bytes([IAC, 241]),
        "flood_do_dont_binary": b"\x82" + bytes([IAC, DO, 0, IAC, DONT, 0]),
        "flood_will_wont_binary_at_once": b"\xc3" + bytes([IAC, WILL, 0, IAC, WONT, 0]),
        "flood_reports_and_purge": b"\xa4" + sub(106, b"\x08") + sub(112, b"\x03") + b"ok\r\n",
        "flood_data": b"\x85" + b"A\xff\xff\r\x00\n",
        "flood_agreement_in_it": b"\xc6" + bytes([IAC, DO, 44, IAC, 241, IAC, 241]),
    }


def write(target, seeds):
    folder = os.path.join(CORPUS, target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    write("fuzz_receive", receive_seeds())
    write("fuzz_ini", ini_seeds())
    write("fuzz_text", text_seeds())
    write("fuzz_telnet", telnet_seeds())

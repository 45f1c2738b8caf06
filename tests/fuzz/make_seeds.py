#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (corpus/query, corpus/answer,
corpus/sequence, corpus/flood, corpus/dialog, corpus/blocklist,
corpus/name_road), or of the targets named on the command line. The files are
committed; run this again only to change them. Inputs that fuzzing campaigns
merged into a corpus (named by libFuzzer after their SHA-1) are left as they
are.

Each seed is a hand-made message of one shape that hostile or broken senders
produce. The query target also reads the first byte (the high byte of the ID)
as its scene: bit 0 no filter, bit 1 upstream send short, bits 2-3 queries
already in flight, bit 4 a client id with a negative key, bits 5-7 queries of
another client in flight. The harness's filter blocks names starting with b,
answers a name error for names starting with r, and returns out-of-range
verdicts for x and n. An answer target input whose first byte is below 16 goes
under the number of the seeded query its second byte picks.
"""

import os
import re
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def header(id0=0x12, id1=0x34, flags=0x0100, qd=1, an=0, ns=0, ar=0):
    return bytes([id0, id1]) + struct.pack(">HHHHH", flags, qd, an, ns, ar)


def name(text):
    out = b""
    for label in text.split("."):
        if label:
            out += bytes([len(label)]) + label.encode("latin-1")
    return out + b"\0"


def question(text, qtype=1, qclass=1):
    return name(text) + struct.pack(">HH", qtype, qclass)


def query_seeds():
    s = {}
    for n in (0, 1, 2, 5, 11):
        s["runt-%d-bytes" % n] = bytes(range(0x12, 0x12 + n))
    s["header-qdcount-0"] = header(qd=0)
    s["header-qdcount-ffff"] = header(qd=0xFFFF)
    s["header-qdcount-8000"] = header(qd=0x8000)
    s["header-qdcount-1-no-question"] = header(qd=1)
    s["one-question"] = header() + question("host.example")
    s["one-question-no-filter"] = header(id0=0x01) + question("host.example")
    s["one-question-upstream-short"] = header(id0=0x02) + question("host.example")
    s["one-question-three-in-flight"] = header(id0=0x0C) + question("host.example")
    s["one-question-negative-client-key"] = header(id0=0x10) + question("host.example")
    s["one-question-one-bystander"] = header(id0=0x20) + question("host.example")
    s["one-question-seven-bystanders"] = header(id0=0xE0) + question("host.example")
    s["response-bit-set"] = header(flags=0x8180) + question("host.example")
    s["qdcount-ffff-one-question"] = header(qd=0xFFFF) + question("a.example")
    s["qdcount-8000-two-questions"] = header(qd=0x8000) + question("a.example") + question("c.example")
    s["two-questions"] = header(qd=2) + question("a.example") + question("b.example")
    s["blocked-name"] = header() + question("blocked.example")
    s["blocked-with-one-in-flight"] = header(id0=0x04) + question("blocked.example")
    s["reply-name"] = header(ns=0x0102) + question("reply.example") + b"\xAA" * 20
    s["reply-with-two-in-flight"] = header(id0=0x08, ns=7) + question("reply.example")
    s["out-of-range-verdicts"] = header(qd=3) + question("x.example") + question("b.example") + question("n.example")
    s["second-name-blocked"] = header(qd=2) + question("a.example") + question("b.example")
    s["root-only"] = header() + b"\0" + struct.pack(">HH", 2, 1)
    s["root-then-name"] = header(qd=2) + b"\0\0\x01\0\x01" + question("a.example")
    s["label-past-end"] = header() + b"\x3Fhost"
    s["second-label-past-end"] = header() + b"\x04host\x20exam"
    s["missing-terminator"] = header() + b"\x04host\x07example"
    s["type-cut-short"] = header() + name("host.example") + b"\x00"
    s["class-cut-short"] = header() + name("host.example") + b"\x00\x01\x00"
    s["type-class-cut-then-next-name"] = header(qd=2) + name("a.example") + b"\x00\x01"
    s["pointer-c00c"] = header() + b"\xC0\x0C" + bytes(4)
    s["pointer-loop-self"] = header() + b"\x01a\xC0\x0E" + bytes(8)
    s["pointer-loop-pair"] = header(qd=2) + b"\xC0\x0E\xC0\x0C\x00" + bytes(4)
    s["length-ff"] = header() + b"\xFF" + b"z" * 255 + b"\x00\x00\x01\x00\x01"
    s["length-c0-to-ff-run"] = header() + bytes(range(0xC0, 0x100)) + b"\x00\x00\x01\x00\x01"
    s["zero-inside-label"] = header() + b"\x05ab\x00cd\x00\x00\x01\x00\x01"
    s["high-bytes-in-label"] = header() + b"\x04\xE9\x80\xFF\x01\x00\x00\x01\x00\x01"
    many = b"".join(question("n%d.example" % i) for i in range(40))
    s["forty-questions"] = header(qd=40) + many
    long_name = ".".join(["a" * 63] * 4)
    s["longest-name"] = header() + question(long_name)
    big = header(qd=100)
    i = 0
    while len(big) + len(question("q%03d.example.org" % i)) <= 2048:
        big += question("q%03d.example.org" % i)
        i += 1
    s["2048-bytes-many-questions"] = big + b"\0" * (2048 - len(big))
    s["2048-bytes-one-name-then-padding"] = (header() + question("host.example")).ljust(2048, b"\x41")
    s["2048-bytes-labels-never-end"] = (header() + b"\x3F").ljust(2048, b"\x3F")
    s["512-bytes-with-edns"] = (header(ar=1) + question("host.example")
                                + b"\x00\x00\x29\x10\x00\x00\x00\x00\x00\x00\x00").ljust(512, b"\0")
    return s


def answer_seeds():
    s = {}
    record = b"\xC0\x0C\x00\x01\x00\x01\x00\x00\x0E\x10\x00\x04\x7F\x00\x00\x01"

    def answer(seed, tail=None, qd=1):
        # Under the number of seeded query SEED (first byte below 16), for the
        # name that query asked unless TAIL says otherwise.
        body = question("seed%d" % seed) + record if tail is None else tail
        return bytes([0x00, seed]) + struct.pack(">HHHHH", 0x8180, qd, 1, 0, 0) + body

    labels = ("client-3", "negative-client", "client-3-second", "client-sends-short",
              "client-3-third", "client-sends-fail", "negative-client-second", "client-9")
    for seed, label in enumerate(labels):
        s["held-%d-%s" % (seed, label)] = answer(seed)
    s["held-case-differs"] = answer(0, question("SEED0") + record)
    s["forged-other-name"] = answer(1, question("evil") + record)
    s["forged-other-seeds-name"] = answer(2, question("seed3") + record)
    s["forged-other-type"] = answer(3, question("seed3", qtype=28) + record)
    s["forged-other-class"] = answer(4, question("seed4", qclass=3) + record)
    s["forged-count-0"] = answer(5, question("seed5") + record, qd=0)
    s["forged-count-2"] = answer(6, question("seed6") + question("seed6") + record, qd=2)
    s["forged-pointer-question"] = answer(7, b"\xC0\x0C\x00\x01\x00\x01" + record)
    s["not-held"] = bytes([0xCD, 0xAB]) + answer(0)[2:]
    s["held-header-only"] = answer(1)[:12]
    s["held-question-cut"] = answer(1)[:16]
    s["held-11-bytes"] = answer(1)[:11]
    s["held-1-byte"] = b"\x01"
    s["empty"] = b""
    s["held-2048-bytes"] = answer(3).ljust(2048, b"\xEE")
    return s


def seq_query(client, id_, letter):
    return bytes([1, client, id_ >> 8, id_ & 0xFF, "abrxn".index(letter)])


def seq_raw(client, data):
    assert len(data) <= 255
    return bytes([0, client, len(data)]) + data


def seq_answer_held(which=0, extra=20):
    return bytes([2, which, extra])


def seq_answer_any(number, length=40):
    return bytes([3, number >> 8, number & 0xFF, length])


def seq_clock(seconds, scale=0):
    return bytes([4, seconds & 0xFF, scale])


EXPIRY = bytes([5])


def seq_sends(whom, mode):  # whom 0-5 a client, 6 upstream; mode 0 full, 1 fail, 2 short
    return bytes([6, whom, mode])


def seq_burst(client, count):
    assert 1 <= count <= 256
    return bytes([7, client, (count - 1) >> 8, (count - 1) & 0xFF])


def flood(client, count):  # the start of every flood input; then a script
    assert 1 <= count <= 65536
    return bytes([client, (count - 1) >> 8, (count - 1) & 0xFF])


def seq_forged(which=0, offset=1, flip=0x20):  # flips bits of a held query's answer
    return bytes([8, which, offset, flip])


def sequence_seeds():
    s = {}
    s["query-then-answer"] = seq_query(0, 0x1234, "a") + seq_answer_held()
    s["two-clients-answers-crossed"] = (seq_query(0, 1, "a") + seq_query(1, 2, "a") + seq_query(0, 3, "a")
                                        + seq_answer_held(1) + seq_answer_held(0) + seq_answer_held(0))
    s["query-expires"] = seq_query(2, 7, "a") + seq_clock(29) + EXPIRY + seq_clock(1) + EXPIRY
    s["clock-set-back"] = seq_query(3, 7, "a") + seq_clock(-2, 1) + EXPIRY + seq_answer_held()
    s["clock-jumps-years"] = seq_query(3, 7, "a") + seq_clock(100, 3) + seq_query(3, 8, "a") + EXPIRY
    s["block-while-in-flight"] = seq_query(0, 1, "a") + seq_query(0, 2, "b") + seq_query(0, 3, "r") + seq_answer_held()
    s["block-without-in-flight"] = seq_query(4, 1, "b") + seq_query(4, 2, "r") + seq_query(4, 3, "x")
    s["wrong-ids"] = (seq_query(0, 1, "a") + seq_answer_any(0xABCD) + seq_answer_any(0x0100)
                      + seq_answer_any(0x0001, 11) + seq_answer_any(0x0001) + seq_answer_any(0x0001))
    s["duplicate-answer"] = seq_query(5, 9, "a") + seq_answer_any(0x0001) + seq_answer_any(0x0001)
    s["send-failures"] = (seq_sends(6, 1) + seq_query(0, 1, "a") + seq_sends(6, 2) + seq_query(0, 2, "a")
                          + seq_sends(6, 0) + seq_query(1, 3, "a") + seq_sends(1, 1) + seq_answer_held()
                          + seq_sends(0, 2) + seq_query(0, 4, "r"))
    s["runts-and-garbage"] = (seq_query(0, 1, "a") + seq_raw(0, b"") + seq_raw(0, b"\x01\x02\x03")
                              + seq_raw(1, bytes(11)) + seq_raw(2, header(qd=0xFFFF))
                              + seq_raw(3, header() + b"\x3Fhost") + seq_raw(4, header() + b"\xC0\x0C")
                              + seq_raw(5, header() + b"\x01b\x00\x00\x01\x00\x01") + seq_answer_held())
    s["forged-then-true-answer"] = (seq_query(0, 1, "a") + seq_forged(0, 2, 0x01) + seq_forged(0, 1, 0x20)
                                    + seq_forged(0, 7, 0xFF) + seq_answer_held(0) + seq_clock(30) + EXPIRY)
    s["forged-count-and-header"] = (seq_burst(1, 3) + seq_forged(1, 0xF5, 0x01) + seq_forged(2, 0xF9, 0x80)
                                    + seq_raw(1, b"") + seq_answer_any(0x0001) + seq_answer_held(0))
    s["bursts-from-two-clients-overlap"] = (seq_burst(0, 256) + seq_burst(1, 256)
                                            + seq_query(0, 1, "b") + seq_clock(31) + EXPIRY)
    s["expiry-every-step"] = b"".join(seq_query(i % 6, i, "a") + seq_clock(10) + EXPIRY for i in range(12))
    return s


def flood_seeds():
    s = {}
    s["flood-of-one"] = flood(0, 1) + seq_answer_held()
    s["flood-past-32767"] = flood(0, 0x8001) + EXPIRY
    s["flood-holds-every-number"] = flood(3, 65536) + seq_query(3, 1, "a") + seq_answer_held()
    s["flood-then-another-client"] = flood(1, 65536) + seq_query(2, 5, "a") + seq_answer_held(0)
    s["flood-expires"] = flood(4, 1000) + seq_clock(30) + EXPIRY + seq_query(4, 2, "a")
    return s


PROGRAM_DOCUMENT = "".join("\t" * tabs + tag for tabs, tag in (
    (0, "<dialogs>"),
    (1, "<window name='wndMain' flags='#WG_Window_SystemMenu|#WG_Window_SizeGadget|#WG_Window_ScreenCentered' minwidth='auto' minheight='auto'>"),
    (2, "<hbox name='hbox1' expand='item:1'>"),
    (3, "<editor name='txtLog' flags='#WG_Editor_ReadOnly|#WG_Editor_WordWrap' height='320' width='512'/>"),
    (3, "<vbox name='vbox1' width='60' align='center' expand='item:3'>"),
    (4, "<button name='button1' flags='#WG_Button_Left' text='1'/>"),
    (4, "<button name='button2' flags='#WG_Button_Right' text='2'/>"),
    (4, "<container name='container1' disabled='yes'>"),
    (5, "<editor name='editor2' disabled='no' flags='#WG_Editor_WordWrap' text='Cor va ne by Tes sa ly' invisible='no'/>"),
    (4, "</container>"),
    (3, "</vbox>"),
    (2, "</hbox>"),
    (1, "</window>"),
    (0, "</dialogs>"),
))


def window(body, attributes="name='wndMain'"):
    return "<dialogs><window %s>%s</window></dialogs>" % (attributes, body)


def dialog_seeds():
    assert len(PROGRAM_DOCUMENT) == 686
    s = {}
    s["program-document"] = PROGRAM_DOCUMENT
    s["window-as-root"] = "<window name='wndMain'><button text='ok'/></window>"
    s["window-without-name"] = "<dialogs><window><editor/></window></dialogs>"
    s["two-windows-second-matches"] = ("<dialogs><window name='other'><button/></window>"
                                       "<window name='WNDMAIN'><vbox><button/><button/></vbox></window></dialogs>")
    s["no-window"] = "<dialogs><hbox/></dialogs>"
    s["empty-text"] = ""
    s["every-kind"] = window(
        "<vbox spacing='3' expand='equal' align='center'>"
        "<gridbox columns='3' colspacing='1' rowspacing='2' colexpand='no' rowexpand='yes'>"
        "<checkbox text='c' flags='#WG_CheckBox_ThreeState' colspan='2'/><option group='1' text='o1'/>"
        "<option group='1' text='o2' rowspan='2'/><text text='t' flags='#WG_Text_Center|#WG_Text_Border'/>"
        "<string flags='#WG_String_Password' onevent='proc'/><shortcut/></gridbox>"
        "<singlebox margin='4' expandwidth='yes' expandheight='no'><image flags='#WG_Image_Border'/></singlebox>"
        "<multibox><buttonimage flags='#WG_Button_Toggle'/><empty width='-1' height='auto'/></multibox>"
        "<hbox><listview/><listicon text='col'/><tree/><combobox flags='#WG_ComboBox_Editable'/>"
        "<calendar/><date text='%yyyy'/></hbox>"
        "<hbox><explorercombo text='/'/><explorerlist text='/'/><explorertree text='/'/>"
        "<hyperlink text='h' color='255'/><ipaddress/><scintilla/></hbox>"
        "<hbox><scrollbar min='5' max='1' page='0' value='99'/><progressbar min='-10' max='10'/>"
        "<trackbar max='2147483648' value='-2147483649'/><spin min='0' max='100' value='7'/><web text='about:blank'/></hbox>"
        "<canvas flags='#WG_Canvas_Container' margin='2'><button text='in canvas'/></canvas>"
        "<frame text='f' flags='#WG_Frame_Double'><button/></frame>"
        "<panel><tab text='one'><button/></tab><tab text='two' margin='0'><editor/></tab></panel>"
        "<scrollarea innerwidth='1000' innerheight='auto' step='1' scrolling='vertical'><vbox><button/></vbox></scrollarea>"
        "<splitter firstmin='request' secondmin='20' flags='#WG_Splitter_Vertical'><editor/><editor/></splitter>"
        "</vbox>",
        "name='wndMain' margin='0' minwidth='10' maxwidth='5' minheight='auto' maxheight='1' expand='item:2'")
    s["flags-with-blanks"] = window("<editor flags=' \t#WG_Editor_ReadOnly \t| \t#WG_Editor_WordWrap\t '/>")
    s["flag-of-another-kind"] = window("<editor flags='#WG_Button_Left'/>")
    s["flag-without-hash"] = window("<editor flags='WG_Editor_ReadOnly|#WG_Editor_WordWrap'/>")
    s["flag-names-odd"] = window("<button flags='#|#x|# |#%s|#WG_Button_Left'/>" % ("A" * 129))
    s["flag-name-128"] = window("<button flags='#%s'/>" % ("B" * 128))
    s["id-values"] = window("<vbox><button id='#WG_Any'/><button id='7'/><button id='7'/>"
                            "<button id='-3'/><button id='99999999999'/><button id='#nothing'/></vbox>")
    s["event-attributes"] = window("<vbox><button onchange='x'/><string onchange='x'/><button onevent='x'/></vbox>")
    s["switches"] = window("<vbox><button disabled='YES' invisible='yes' folded='yes'/>"
                           "<button disabled='no' invisible='No' folded='0'/></vbox>")
    s["tags-any-case"] = window("<VBOX><Button TEXT='b'/><unknown><button/></unknown><EDITOR/></VBOX>")
    s["box-with-101-children"] = window("<vbox>" + "<button/>" * 101 + "</vbox>")
    s["nesting-250-deep"] = window("<vbox>" * 250 + "<button/>" + "</vbox>" * 250)
    s["containers-250-deep"] = window("<container>" * 250 + "</container>" * 250)
    s["one-child-containers-with-two"] = window("<container><button/><editor/></container>"
                                                "<singlebox><button/><button/></singlebox>")
    s["window-with-two-children"] = window("<button/><editor/>")
    s["unclosed-tags"] = "<dialogs><window name='wndMain'><vbox><button text='x'>"
    s["cut-in-attribute"] = "<dialogs><window name='wndMain'><vbox><button text='x"
    s["mismatched-end"] = window("<vbox><button></vbox></button>")
    s["bad-entity-and-text"] = window("text &bogus; more <button text='&lt;&amp;&#x41;&#65;'/>")
    s["unquoted-attribute"] = window("<button text=x/>")
    s["duplicate-attributes"] = window("<button text='a' text='b'/>")
    s["comments-cdata-pi"] = window("<!-- c --><![CDATA[<button/>]]><?pi data?><button/>")
    s["doctype-with-entities"] = ("<!DOCTYPE dialogs [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;&a;&a;'>"
                                  "<!ENTITY c '&b;&b;&b;&b;&b;&b;'>]>" + window("<button text='&c;'/>"))
    s["non-ascii-names"] = window("<vbox><button name='\u00e9t\u00e9' text='\u65e5\u672c \U0001F600'/></vbox>")
    s["namespaces-and-colons"] = window("<a:button xmlns:a='urn:x' a:text='n'/><button xml:lang='en'/>")
    s["many-attributes"] = window("<button %s/>" % " ".join("a%d='%d'" % (i, i) for i in range(300)))
    s["xml-declaration-utf8"] = "<?xml version='1.0' encoding='UTF-8'?>" + window("<button/>")
    s["xml-declaration-latin1"] = "<?xml version='1.0' encoding='ISO-8859-1'?>" + window("<button/>")
    out = {k: v.encode("utf-8") for k, v in s.items()}
    # UTF-16LE code units after FF FE: the document with a lone surrogate in a value.
    units = [ord(c) for c in window("<button text='?'/>")]
    units[units.index(ord("?"))] = 0xD800
    out["utf16-lone-surrogate"] = b"\xFF\xFE" + b"".join(struct.pack("<H", u) for u in units)
    out["utf16-program-document"] = b"\xFF\xFE" + PROGRAM_DOCUMENT.encode("utf-16-le")
    return out


# Names odd as text: labels of dots (query text does not escape a '.' in a
# label, so every character may start a parent), NUL, backslash, bytes
# 0x80-0xFF, 63-byte labels, 253-character names and longer ones. The names
# of the lists are those of tests/fuzz/BlocklistHarness.h.
LABEL63 = "l" * 63
NAME253 = ".".join(["m" * 63] * 3 + ["m" * 61])


def wide(text):
    return text.encode("utf-16-le")


def blocklist_seeds():
    # The first byte: bit 0 UTF-16 text, bit 1 the plug-in that answers BlockReply.
    s = {}
    s["dots-253"] = "\0" + "." * 253
    s["dots-254-reply-plugin"] = "\x02" + "." * 254
    s["dots-then-listed"] = "\0" + "." * 252 + "a"
    s["dots-inside-labels"] = "\0" + "x...ads.test\0ads..test\0.ads.test.\0..."
    s["listed-allowed-excepted"] = ("\0x.ads.test\0cdn.ok.ads.test\0LL.good.ads.test\0"
                                    "x.also.tracker.test\0q.pass.wild.test\0fine.bar.test\0\0a")
    s["backslash-names"] = "\0a\\.ads.test\0\\\0ads.test\\"
    s["high-bytes"] = "\0caf\xc3\xa9.test\0www.\xff\x80.test\0\xe9.test\0CAF\xc3\xa9.TEST"
    s["label-63"] = "\0x." + LABEL63 + ".test\0" + LABEL63 + "l.test"
    s["name-253-and-longer"] = "\0" + NAME253 + "\0n." + NAME253 + "\0" + "z" * 300 + ".ads.test"
    s["mixed-case"] = "\x02X.MIXED.case.TEST\0RULE.Test\0Bar.TEST"
    s["wide-characters"] = b"\x01" + wide("\u4e2d.ads.test\0x.\u0165ds.test\0\u0100\u0161.test")
    return s


def labels(*parts):
    return b"".join(bytes([len(p)]) + p for p in parts) + b"\0"


A_IN = b"\0\x01\0\x01"


def road_seeds():
    # Datagrams; bit 0 of the first byte picks the plug-in that answers BlockReply.
    s = {}
    s["dots-then-listed"] = header() + labels(b"." * 63, b"." * 63, b"." * 63, b"a") + A_IN
    s["dots-reply-plugin"] = header(id0=0x13) + labels(b"." * 63, b"." * 63, b"." * 63, b"." * 60) + A_IN
    s["nul-in-label"] = header() + b"\x05ab\x00cd\x03ads\x04test\x00" + A_IN
    s["backslash-label"] = header() + labels(b"a\\b", b"ads", b"test") + A_IN
    s["high-bytes"] = header(id0=0x13) + labels(b"caf\xc3\xa9", b"test") + A_IN
    s["label-63"] = header() + labels(b"x", LABEL63.encode(), b"test") + A_IN
    s["name-255-bytes"] = header() + labels(*[p.encode() for p in NAME253.split(".")]) + A_IN
    many = b"".join(labels(b"n%d" % i, b"example") + A_IN for i in range(300))
    s["many-questions-last-listed"] = header(qd=0x7FFF) + many + labels(b"x", b"ads", b"test") + A_IN
    s["upper-case"] = header(id0=0x13) + labels(b"X", b"ADS", b"Test") + A_IN
    # As long as a TCP message may be: one name of 65,000 bytes under a listed
    # parent, and 9,000 names of one label each.
    long_name = header()
    while len(long_name) < 65000:
        long_name += b"\x3f" + b"a" * 63
    s["tcp-one-long-name"] = long_name + labels(b"ads", b"test") + A_IN
    s["tcp-many-names"] = header(qd=0x7FFF) + (b"\x01q\x00" + A_IN) * 9000
    return s


def write(folder, seeds):
    path = os.path.join(HERE, "corpus", folder)
    os.makedirs(path, exist_ok=True)
    for old in os.listdir(path):
        if not re.fullmatch("[0-9a-f]{40}", old):
            os.remove(os.path.join(path, old))
    for label, data in sorted(seeds.items()):
        with open(os.path.join(path, label), "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode("latin-1"))


def main(targets):
    makers = {"query": query_seeds, "answer": answer_seeds, "sequence": sequence_seeds,
              "flood": flood_seeds, "dialog": dialog_seeds, "blocklist": blocklist_seeds,
              "name_road": road_seeds}
    for target in targets or makers:
        write(target, makers[target]())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/env bash
# Turns the per-round figures of bench/forwarder/run.sh (a TSV file) into a
# Markdown table: the median of the rounds for each variant, and each figure
# against dnsmasq's: the ratio (for latencies the difference in microseconds)
# taken round by round, against the dnsmasq run of the same round, and the
# median of those; the Corvane variants likewise against the bare relay, and
# against corvane-base (the build of an earlier commit, run.sh --base-ref)
# when it was measured. Pairing by round is what cancels the machine's drift.
#
# Usage: bench/forwarder/summarize.sh RESULTS.tsv
set -euo pipefail
results="${1:?usage: summarize.sh RESULTS.tsv}"

awk -F'\t' '
# The median of the numbers in list; what is no number ("nan", a figure a
# variant does not have) is left out, and without any the result is "nan".
function median(list,    n, m, a, b, i, j, t) {
    m = split(list, b, " ")
    n = 0
    for (i = 1; i <= m; i++) if (b[i] ~ /^[-+]?[0-9]*\.?[0-9]+([eE][-+]?[0-9]+)?$/) a[++n] = b[i]
    for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] + 0 > t + 0; j--) a[j + 1] = a[j]; a[j + 1] = t }
    if (n == 0) return "nan"
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
}
BEGIN { nkeys = split("qps tcp_qps cpu cpu200 avg p50 p99 add_avg add_p50 add_p99 share20 share200 rss wake share_udp share_tcp share_fresh", keys, " ") }
NR == 1 { next }
{
    v = $1
    if (!(v in seen)) { seen[v] = 1; order[++nv] = v }
    for (k = 1; k <= nkeys; k++) vals[v, keys[k]] = vals[v, keys[k]] " " figure($0, keys[k])
    row[v, $2] = $0
    rounds[$2] = 1
}
# The figure of column key for one TSV row, as the table shows it.
function figure(line, key,    f) {
    split(line, f, "\t")
    if (key == "qps") return f[3]
    if (key == "tcp_qps") return f[15]
    if (key == "cpu") return f[6]
    if (key == "cpu200") return f[16]
    if (key == "share20") return f[17]
    if (key == "share200") return f[18]
    if (key == "avg") return f[7]
    if (key == "p50") return f[8]
    if (key == "p99") return f[9]
    if (key == "add_avg") return f[7] - f[10]
    if (key == "add_p50") return f[8] - f[11]
    if (key == "add_p99") return f[9] - f[12]
    if (key == "wake") return f[14]
    if (key == "share_udp") return f[19]
    if (key == "share_tcp") return f[20]
    if (key == "share_fresh") return f[21]
    return f[13]
}
# Each variant against a base (dnsmasq, the relay) round by round (the rounds
# alternate, so the pair shares the machine state), then the median over the
# rounds.
function paired(v, key, base,    r, list, d) {
    list = ""
    for (r in rounds) {
        if (!((v, r) in row) || !((base, r) in row)) continue
        d = figure(row[base, r], key)
        if (key ~ /^(avg|p50|p99|add_|share[0-9])/) list = list " " (figure(row[v, r], key) - d)
        else if (d + 0 > 0) list = list " " (figure(row[v, r], key) / d)
    }
    return median(list)
}
# One cell of a comparison: a difference for latencies, else a ratio.
function versus(v, key, base,    p) {
    # A ratio of wake-ups to a peer that has none says nothing; only one
    # variant counts the queries attributed.
    if (key == "wake" || key ~ /^share_/) return "-"
    p = paired(v, key, base)
    if (p == "nan") return "n/a"
    if (key ~ /^share[0-9]/) return sprintf("%+.2f points", p)
    if (key ~ /^(avg|p50|p99|add_)/) return sprintf("%+.1f µs", p)
    return sprintf("%.2f×", p)
}
END {
    label["qps"] = "Throughput at saturation (queries/s)"
    label["tcp_qps"] = "Throughput at saturation over TCP (queries/s)"
    label["cpu"] = "CPU per 1,000 queries at saturation (ms)"
    label["cpu200"] = "CPU per query at 200 q/s (µs)"
    label["share20"] = "Share of one core at 20 q/s, a socket per query (%)"
    label["share200"] = "Share of one core at 200 q/s, a socket per query (%)"
    label["avg"] = "Latency at 200 q/s, average (µs)"
    label["p50"] = "Latency at 200 q/s, median (µs)"
    label["p99"] = "Latency at 200 q/s, 99th percentile (µs)"
    label["add_avg"] = "Added latency, average (µs)"
    label["add_p50"] = "Added latency, median (µs)"
    label["add_p99"] = "Added latency, 99th percentile (µs)"
    label["rss"] = "Peak RSS (kB)"
    label["wake"] = "Wake-ups a second, idle"
    label["share_udp"] = "Queries named at once, saturation over UDP"
    label["share_tcp"] = "Queries named at once, saturation over TCP"
    label["share_fresh"] = "Queries named at once, a socket a query"
    format["qps"] = "%.0f"; format["tcp_qps"] = "%.0f"; format["rss"] = "%.0f"; format["cpu"] = "%.1f"
    format["share20"] = "%.2f"; format["share200"] = "%.2f"; format["share_udp"] = "%.4f"; format["share_tcp"] = "%.4f"; format["share_fresh"] = "%.4f"
    header = "| Figure |"; rule = "|---|"
    for (i = 1; i <= nv; i++) {
        header = header " " order[i] " |"; rule = rule "---:|"
        if (order[i] != "dnsmasq" && ("dnsmasq" in seen)) { header = header " vs dnsmasq |"; rule = rule "---:|" }
        if (order[i] ~ /^corvane/ && ("relay" in seen)) { header = header " vs relay |"; rule = rule "---:|" }
        if (order[i] ~ /^corvane/ && order[i] != "corvane-base" && ("corvane-base" in seen)) { header = header " vs base |"; rule = rule "---:|" }
    }
    print header; print rule
    for (k = 1; k <= nkeys; k++) {
        key = keys[k]
        fmt = (key in format) ? format[key] : "%.1f"
        line = "| " label[key] " |"
        for (i = 1; i <= nv; i++) {
            v = order[i]
            m = median(vals[v, key])
            line = line " " (m == "nan" ? "-" : sprintf(fmt, m)) " |"
            if (v != "dnsmasq" && ("dnsmasq" in seen)) line = line " " versus(v, key, "dnsmasq") " |"
            if (v ~ /^corvane/ && ("relay" in seen)) line = line " " versus(v, key, "relay") " |"
            if (v ~ /^corvane/ && v != "corvane-base" && ("corvane-base" in seen)) line = line " " versus(v, key, "corvane-base") " |"
        }
        print line
    }
}' "$results"

#!/usr/bin/env bash
# Turns the per-round figures of bench/forwarder/run.sh (a TSV file) into a
# Markdown table: the median of the rounds for each variant, and each figure
# against dnsmasq's (a ratio, or for latencies the difference in microseconds).
#
# Usage: bench/forwarder/summarize.sh RESULTS.tsv
set -euo pipefail
results="${1:?usage: summarize.sh RESULTS.tsv}"

awk -F'\t' '
function median(list,    n, a, i, j, t) {
    n = split(list, a, " ")
    for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] + 0 > t + 0; j--) a[j + 1] = a[j]; a[j + 1] = t }
    if (n == 0) return "nan"
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
}
NR == 1 { next }
{
    v = $1
    if (!(v in seen)) { seen[v] = 1; order[++nv] = v }
    vals[v, "qps"] = vals[v, "qps"] " " $3
    vals[v, "cpu"] = vals[v, "cpu"] " " $6
    vals[v, "avg"] = vals[v, "avg"] " " $7
    vals[v, "p50"] = vals[v, "p50"] " " $8
    vals[v, "p99"] = vals[v, "p99"] " " $9
    vals[v, "add_avg"] = vals[v, "add_avg"] " " ($7 - $10)
    vals[v, "add_p50"] = vals[v, "add_p50"] " " ($8 - $11)
    vals[v, "add_p99"] = vals[v, "add_p99"] " " ($9 - $12)
    vals[v, "rss"] = vals[v, "rss"] " " $13
    vals[v, "lost"] = vals[v, "lost"] " " $5
}
END {
    split("qps cpu avg p50 p99 add_avg add_p50 add_p99 rss", keys, " ")
    label["qps"] = "Throughput at saturation (queries/s)"
    label["cpu"] = "CPU per 1,000 queries (ms)"
    label["avg"] = "Latency at 200 q/s, average (µs)"
    label["p50"] = "Latency at 200 q/s, median (µs)"
    label["p99"] = "Latency at 200 q/s, 99th percentile (µs)"
    label["add_avg"] = "Added latency, average (µs)"
    label["add_p50"] = "Added latency, median (µs)"
    label["add_p99"] = "Added latency, 99th percentile (µs)"
    label["rss"] = "Peak RSS (kB)"
    format["qps"] = "%.0f"; format["rss"] = "%.0f"; format["cpu"] = "%.1f"
    header = "| Figure |"; rule = "|---|"
    for (i = 1; i <= nv; i++) {
        header = header " " order[i] " |"; rule = rule "---:|"
        if (order[i] != "dnsmasq" && ("dnsmasq" in seen)) { header = header " vs dnsmasq |"; rule = rule "---:|" }
    }
    print header; print rule
    for (k = 1; k <= 9; k++) {
        key = keys[k]
        fmt = (key in format) ? format[key] : "%.1f"
        base = ("dnsmasq" in seen) ? median(vals["dnsmasq", key]) : ""
        line = "| " label[key] " |"
        for (i = 1; i <= nv; i++) {
            v = order[i]
            m = median(vals[v, key])
            line = line " " sprintf(fmt, m) " |"
            if (v != "dnsmasq" && ("dnsmasq" in seen)) {
                if (key ~ /^(avg|p50|p99|add_)/) line = line " " sprintf("%+.1f µs", m - base) " |"
                else line = line " " (base + 0 > 0 ? sprintf("%.2f×", m / base) : "n/a") " |"
            }
        }
        print line
    }
}' "$results"

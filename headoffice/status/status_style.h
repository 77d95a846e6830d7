#pragma once
// The status page's style sheet: a table on a wide screen, one card a terminal below 760 px. The
// state colours run from the worst (silent, dark red) to the best (current, green).

namespace pos::headoffice {

inline constexpr const char* kStatusStyle = R"(
body{font-family:"Noto Sans CJK TC","AR PL UKai TW",sans-serif;margin:1em;color:#222}
h1{font-size:1.3em;margin:0 0 .3em}h2{font-size:1.1em;margin:1.2em 0 .5em}
p.summary{margin:.2em 0 .4em;line-height:2}
p.note{color:#555;margin:0 0 .6em;font-size:.9em}
dl.todo{display:grid;grid-template-columns:max-content 1fr;gap:.25em .6em;margin:0 0 1em;font-size:.85em;max-width:70em}
dl.todo dt{margin:0}dl.todo dd{margin:0;color:#333}
table{border-collapse:collapse;font-size:.9em}
th,td{padding:.35em .6em;border-bottom:1px solid #ddd;text-align:left;vertical-align:top}
th{background:#f3f3f3;white-space:nowrap}
td{overflow-wrap:anywhere}
td.short,.state,.track{white-space:nowrap}
.state{display:inline-block;font-weight:bold;text-transform:uppercase;font-size:.8em;padding:.2em .5em;border-radius:.3em;color:#fff}
.summary .state.none{opacity:.35}
p.pages a,p.pages b{margin:0 .25em}
.silent{background:#641e16}.behind{background:#c0392b}.failing{background:#d35400}
.stopped{background:#9a7d0a}.running{background:#1a6e8e}.current{background:#1e8449}
tr.terminal td:first-child{border-left:.35em solid #ccc}
tr[data-state=silent] td:first-child{border-left-color:#641e16}tr[data-state=behind] td:first-child{border-left-color:#c0392b}
tr[data-state=failing] td:first-child{border-left-color:#d35400}tr[data-state=stopped] td:first-child{border-left-color:#9a7d0a}
tr[data-state=running] td:first-child{border-left-color:#1a6e8e}tr[data-state=current] td:first-child{border-left-color:#1e8449}
.reason{font-size:.85em;color:#444;max-width:12em;margin-top:.2em;overflow-wrap:normal}
.muted{color:#777}
.error{color:#922}
.track{display:inline-block;width:6em;height:.7em;background:#eee;margin-right:.4em;vertical-align:middle}
.bar{display:block;height:100%}.bar.count{background:#2e86c1}.bar.age{background:#c0392b}
@media (max-width:760px){
 body{margin:.5em}
 table,thead,tbody,tr,td{display:block;width:auto}
 thead{display:none}
 tr.terminal{border:1px solid #ccc;border-left:.5em solid #ccc;border-radius:.3em;margin:0 0 .8em;padding:.3em .5em}
 tr[data-state=silent]{border-left-color:#641e16}tr[data-state=behind]{border-left-color:#c0392b}
 tr[data-state=failing]{border-left-color:#d35400}tr[data-state=stopped]{border-left-color:#9a7d0a}
 tr[data-state=running]{border-left-color:#1a6e8e}tr[data-state=current]{border-left-color:#1e8449}
 tr.terminal td,tr.terminal td:first-child{border:0;padding:.2em 0}
 td[data-label]::before{content:attr(data-label);display:inline-block;min-width:8.5em;color:#666;font-size:.85em}
 .reason{max-width:none}
 dl.todo{grid-template-columns:1fr}
 dl.todo dd{margin-bottom:.4em}
}
)";

}  // namespace pos::headoffice

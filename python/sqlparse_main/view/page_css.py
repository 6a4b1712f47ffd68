"""The page's style sheet."""

CSS = """
*{box-sizing:border-box}
html,body{margin:0;height:100%;overflow:hidden;font:12px/1.4 system-ui,-apple-system,"Segoe UI",Helvetica,Arial,sans-serif;color:#1d2330;background:#f4f5f7}
#bar{position:fixed;top:0;left:0;right:0;height:40px;display:flex;align-items:center;gap:8px;padding:0 10px;background:#fff;border-bottom:1px solid #d5d9e0;z-index:3;white-space:nowrap;overflow:hidden}
#bar .title{font-size:14px}
#bar .stats{color:#5b6473}
#search{width:200px;padding:4px 6px;border:1px solid #b9c0cc;border-radius:4px;font:inherit}
#found-count{color:#5b6473;min-width:3em}
#bar label{display:inline-flex;align-items:center;gap:3px;margin-right:6px;cursor:pointer}
#zoom{position:fixed;left:10px;bottom:10px;z-index:3;display:flex;flex-direction:column;gap:4px}
#zoom button{font:inherit;width:34px;height:28px;border:1px solid #b9c0cc;background:#fff;border-radius:4px;cursor:pointer}
@media (max-width:1350px){#bar .stats{display:none}}
#bar button{font:inherit;padding:3px 8px;border:1px solid #b9c0cc;background:#fff;border-radius:4px;cursor:pointer}
#failed{color:#a11;border-color:#e0a0a0!important}
.swatch{display:inline-block;width:18px;height:0;border-top:2px solid #7a8aa6;vertical-align:middle}
#viewport{position:fixed;top:40px;left:0;right:0;bottom:0;overflow:hidden;cursor:grab;background:#f4f5f7}
#viewport.panning{cursor:grabbing}
#world{position:absolute;left:0;top:0;transform-origin:0 0}
#edges{position:absolute;left:0;top:0;overflow:visible;pointer-events:none}
.edge{fill:none;stroke:#7a8aa6;stroke-width:1.3;opacity:.75;pointer-events:visibleStroke;cursor:pointer}
.edge:hover{stroke-width:3}
.k-identity{stroke:#6f86b0;border-color:#6f86b0}
.k-transformation{stroke:#d9822b;border-color:#d9822b}
.k-aggregation{stroke:#8e44ad;border-color:#8e44ad;stroke-width:2}
.k-conditional,.k-window{stroke:#2a9d8f;border-color:#2a9d8f;stroke-dasharray:6 3}
.swatch.k-aggregation{border-top-width:3px}
.swatch.k-conditional,.swatch.k-window{border-top-style:dashed}
.edge.indirect,.swatch.indirect{stroke:#9aa3b2;border-color:#9aa3b2;stroke-dasharray:2 3;stroke-width:1;border-top-style:dotted}
body:not(.show-indirect) .edge.indirect{display:none}
.hide-k-identity .edge.k-identity,.hide-k-transformation .edge.k-transformation,.hide-k-aggregation .edge.k-aggregation,.hide-k-conditional .edge.k-conditional,.hide-k-window .edge.k-window{display:none}
.table{position:absolute;background:#fff;border:1px solid #aab3c2;border-radius:5px;box-shadow:0 1px 2px rgba(0,0,0,.08);overflow:hidden}
.table .head{height:26px;line-height:26px;padding:0 8px;font-weight:600;color:#fff;background:#4a6fa5;overflow:hidden;text-overflow:ellipsis;white-space:nowrap}
.role-intermediate .head{background:#b7791f}
.role-target .head{background:#2f855a}
.role-output .head{background:#6b46c1}
.head .warn{float:right;margin-left:6px;color:#ffe08a}
.hide-warnings .head .warn,.hide-warnings .warnings{display:none}
.col{height:20px;line-height:20px;padding:0 8px;border-top:1px solid #edf0f4;overflow:hidden;text-overflow:ellipsis;white-space:nowrap;cursor:pointer;font-family:ui-monospace,Menlo,Consolas,monospace;font-size:11.5px}
.col:hover{background:#e8effa}
.focus .edge:not(.highlighted){opacity:.06}
.focus .table:not(.lit){opacity:.35}
.focus .col:not(.lit){color:#a8afbb}
.edge.highlighted{opacity:1;stroke-width:2.4}
.edge.selected{stroke:#e53e3e!important;stroke-width:3.5;opacity:1}
.col.lit{background:#fff6d6;font-weight:600}
.col.chosen{background:#ffe08a}
.found{outline:3px solid #e53e3e;outline-offset:1px}
#panel{position:fixed;top:40px;right:0;bottom:0;width:380px;background:#fff;border-left:1px solid #d5d9e0;z-index:2;overflow:auto;padding:10px 12px;display:none}
body.panel-open #panel{display:block}
#panel-close{position:absolute;top:6px;right:8px;border:0;background:none;font-size:18px;cursor:pointer}
#panel h3{margin:4px 0 8px;font-size:13px;word-break:break-all}
#panel .stmt{border-top:1px solid #e2e6ec;padding:6px 0}
#panel pre{background:#f6f8fa;border:1px solid #e2e6ec;padding:6px;max-height:320px;overflow:auto;white-space:pre-wrap;word-break:break-word;font-size:11px}
#panel .warnings{color:#8a5a00;margin:4px 0;padding-left:16px}
#panel .error{color:#a11}
#panel ul.edges{padding-left:16px;margin:4px 0}
#panel ul.edges li{cursor:pointer;word-break:break-all}
.hint{color:#5b6473}
.empty{padding:40px;color:#5b6473;font-size:14px}
"""

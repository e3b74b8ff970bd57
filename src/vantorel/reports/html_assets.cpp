#include "vantorel/reports/html_assets.hpp"

namespace vantorel::reports::html_assets {

const std::string_view kFavicon =
    "data:image/svg+xml,%3Csvg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 24 24'%3E"
    "%3Crect x='2' y='4' width='20' height='4' rx='2' fill='%2351cd78'/%3E"
    "%3Crect x='2' y='10' width='14' height='4' rx='2' fill='%23f5b74c'/%3E"
    "%3Crect x='2' y='16' width='9' height='4' rx='2' fill='%23f76f61'/%3E%3C/svg%3E";

const std::string_view kSprite =
    R"SPRITE(<svg xmlns="http://www.w3.org/2000/svg" style="display:none" aria-hidden="true">
<symbol id="icon-diag-error" viewBox="0 0 16 16"><circle cx="8" cy="8" r="7" fill="currentColor"/><path d="M8 4v5M8 11.5v.5" stroke="#1a1a1a" stroke-width="2" stroke-linecap="round"/></symbol>
<symbol id="icon-diag-warning" viewBox="0 0 16 16"><path d="M8 1.5 15 14H1z" fill="currentColor"/><path d="M8 6v4M8 12v.5" stroke="#1a1a1a" stroke-width="1.8" stroke-linecap="round"/></symbol>
<symbol id="icon-arrow" viewBox="0 0 16 16"><path d="M6 3l5 5-5 5" fill="none" stroke="currentColor" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"/></symbol>
<symbol id="icon-ref" viewBox="0 0 16 16"><path d="M6.5 9.5l3-3M7 4.5l1.2-1.2a2.8 2.8 0 014 4L11 8.5M9 11.5l-1.2 1.2a2.8 2.8 0 01-4-4L5 7.5" fill="none" stroke="currentColor" stroke-width="1.6" stroke-linecap="round"/></symbol>
<symbol id="icon-tooltip" viewBox="0 0 16 16"><circle cx="8" cy="8" r="6.5" fill="none" stroke="currentColor" stroke-width="1.5"/><path d="M8 7v4M8 4.8v.4" stroke="currentColor" stroke-width="1.6" stroke-linecap="round"/></symbol>
<symbol id="icon-close" viewBox="0 0 16 16"><path d="M4 4l8 8M12 4l-8 8" stroke="currentColor" stroke-width="2" stroke-linecap="round"/></symbol>
<symbol id="icon-checkbox-unchecked" viewBox="0 0 16 16"><rect x="2" y="2" width="12" height="12" rx="3" fill="none" stroke="currentColor" stroke-width="1.5"/></symbol>
<symbol id="icon-checkbox-checked" viewBox="0 0 16 16"><rect x="2" y="2" width="12" height="12" rx="3" fill="currentColor"/><path d="M5 8.2l2 2 4-4.4" fill="none" stroke="#1a1a1a" stroke-width="1.8" stroke-linecap="round" stroke-linejoin="round"/></symbol>
<symbol id="icon-check" viewBox="0 0 16 16"><path d="M3.5 8.5l3 3 6-7" fill="none" stroke="currentColor" stroke-width="2.2" stroke-linecap="round" stroke-linejoin="round"/></symbol>
<symbol id="icon-half" viewBox="0 0 16 16"><circle cx="8" cy="8" r="6" fill="none" stroke="currentColor" stroke-width="2"/><path d="M8 2a6 6 0 010 12z" fill="currentColor"/></symbol>
<symbol id="icon-x" viewBox="0 0 16 16"><path d="M4.5 4.5l7 7M11.5 4.5l-7 7" stroke="currentColor" stroke-width="2.2" stroke-linecap="round"/></symbol>
<symbol id="icon-copy" viewBox="0 0 16 16"><rect x="5" y="5" width="9" height="9" rx="2" fill="none" stroke="currentColor" stroke-width="1.5"/><path d="M3 11V3.5A1.5 1.5 0 014.5 2H11" fill="none" stroke="currentColor" stroke-width="1.5"/></symbol>
<symbol id="icon-search" viewBox="0 0 16 16"><circle cx="7" cy="7" r="4.5" fill="none" stroke="currentColor" stroke-width="1.8"/><path d="M10.5 10.5L14 14" stroke="currentColor" stroke-width="1.8" stroke-linecap="round"/></symbol>
<symbol id="vl-mark" viewBox="0 0 24 24"><rect x="2" y="4" width="20" height="4" rx="2" fill="#51cd78"/><rect x="2" y="10" width="14" height="4" rx="2" fill="#f5b74c"/><rect x="2" y="16" width="9" height="4" rx="2" fill="#f76f61"/></symbol>
</svg>)SPRITE";

const std::string_view kStyle = R"STYLE(
:root{--font:"Poppins",system-ui,-apple-system,"Segoe UI",Roboto,"Helvetica Neue",Arial,"Noto Sans",sans-serif;--mono:"JetBrains Mono","Fira Code","SF Mono",Consolas,"Liberation Mono",Menlo,monospace;--bg:#1a1a1a;--surface:#212121;--surface-2:#2a2a2a;--border:#616161;--border-soft:#404040;--text:#eaebef;--text-2:#b6b6b6;--text-3:#828282;--success:#51cd78;--warning:#f5b74c;--danger:#f76f61;--info:#3b82f6;--done:#349147;--m-get:var(--info);--m-head:var(--info);--m-options:var(--info);--m-post:var(--success);--m-patch:var(--success);--m-put:var(--warning);--m-delete:var(--danger);--m-query:var(--info);--m-trace:var(--text-3)}
*{box-sizing:border-box}
html{background:var(--bg)}
body{margin:0;min-width:830px;background:var(--bg);color:var(--text);font-family:var(--font);font-size:14px;line-height:1.5}
code,.cl,.path,.value,.source,.unmatched-path,.unmatched-host{font-family:var(--mono)}
code{background:var(--surface-2);border-radius:4px;padding:0 4px;font-size:.92em}
a{color:var(--info)}
.sr-only{position:absolute;width:1px;height:1px;overflow:hidden;clip:rect(0 0 0 0);white-space:nowrap}
.container{max-width:1400px;margin:0 auto;padding:0 24px}
header.container{display:flex;justify-content:space-between;align-items:flex-end;padding-top:28px;padding-bottom:20px}
.header-title h1{margin:0;font-size:24px;font-weight:600;display:flex;align-items:center;gap:10px}
.header-title .subtitle{color:var(--text-3);font-size:13px}
.vl-header-mark{width:28px;height:28px}
.time{color:var(--text-2);font-size:12px;text-align:right;display:flex;flex-direction:column;gap:2px}
.time .abs{color:var(--text-3)}
.tv{display:inline-flex;align-items:center;gap:4px;font-weight:600}
.tv.pass{color:var(--success)}.tv.fail{color:var(--danger)}
.tv-glyph{width:14px;height:14px}
.magnitude{--lo:color-mix(in oklch,var(--danger),var(--warning) calc(clamp(0,var(--pct,0),50) * 2%));--mag:color-mix(in oklch,var(--lo),var(--done) calc(clamp(0,var(--pct,0) - 50,50) * 2%))}
.magnitude.partial{--done:#8f9e3e}
.charts{display:grid;grid-template-columns:repeat(5,1fr);gap:12px;margin-bottom:16px}
.mc{background:var(--surface);border:1px solid var(--border-soft);border-radius:10px;padding:14px;display:flex;flex-direction:column;gap:6px;position:relative;overflow:hidden}
.mc-head{display:flex;justify-content:space-between}
.mc-title{font-weight:600}
.mc-desc{color:var(--text-3);font-size:12px}
.mc-body{display:flex;align-items:center;gap:12px}
.mc-arc,.mc-ring{width:44px;height:44px;border-radius:50%;flex:none}
.mc-arc{background:conic-gradient(var(--mag) calc(var(--pct,0) * 1%),var(--surface-2) 0);-webkit-mask:radial-gradient(circle,transparent 54%,#000 56%);mask:radial-gradient(circle,transparent 54%,#000 56%)}
.mc-ring{position:relative;display:flex;align-items:center;justify-content:center}
.mc-ring .mc-arc{position:absolute;inset:0}
.mc-ring::after{content:"";position:absolute;left:50%;top:0;width:2px;height:8px;background:var(--text);transform-origin:50% 22px;transform:translateX(-50%) rotate(calc(var(--req,0) * 3.6deg))}
.mc-min{position:absolute;top:48px;font-size:10px;color:var(--text-3);white-space:nowrap}
.t-miss .mc-min{color:var(--danger)}
.mc-num .big{font-size:26px;font-weight:600;color:var(--mag)}
.state-neutral .big,.state-uncovered .big{color:var(--text-2)}
.mc-num .unit{font-size:14px;margin-left:1px}
.mc-num .sub{display:block;color:var(--text-2);font-size:12px}
.mc-accent{height:4px;background:var(--surface-2);border-radius:2px;position:relative;margin-top:16px}
.mc-accent .fill{display:block;height:100%;width:calc(var(--pct,0) * 1%);background:var(--mag);border-radius:2px}
.t-pass .mc-accent::after,.t-miss .mc-accent::after{content:"";position:absolute;top:-3px;left:calc(var(--req,0) * 1%);width:2px;height:10px;background:var(--text)}
.coverage-tools{display:flex;flex-wrap:wrap;gap:12px;align-items:center;margin:8px 0 16px}
.search-bar{flex:1;min-width:240px;display:flex;align-items:center;gap:6px;background:var(--surface);border:1px solid var(--border-soft);border-radius:8px;padding:6px 10px}
.search-bar svg{width:16px;height:16px;color:var(--text-3)}
.search-input{flex:1;background:transparent;border:0;color:var(--text);font:inherit;outline:none}
.clear-btn{display:none;background:none;border:0;color:var(--text-3);cursor:pointer;padding:0}
.clear-btn svg{width:14px;height:14px}
.search-bar.has-value .clear-btn{display:inline-flex}
.filter-group{display:flex;align-items:center;gap:6px;flex-wrap:wrap}
.filter-label{color:var(--text-3);font-size:12px;margin-right:4px}
.filter-chip{display:inline-flex;align-items:center;gap:6px;background:var(--surface);color:var(--text-3);border:1px solid var(--border-soft);border-radius:999px;padding:4px 10px;font:inherit;font-size:12px;cursor:pointer}
.filter-chip.on{color:var(--text);border-color:var(--border)}
.filter-chip .dot{width:8px;height:8px;border-radius:50%;background:var(--text-3)}
.filter-chip[data-filter=covered] .dot{background:var(--success)}
.filter-chip[data-filter=partial] .dot{background:var(--warning)}
.filter-chip[data-filter=uncovered] .dot{background:var(--danger)}
.filter-chip[data-filter=deprecated] .dot{background:var(--text-2)}
.filter-chip .ct{color:var(--text-3)}
.filter-divider{width:1px;height:18px;background:var(--border-soft)}
.toggle-all-btn{display:inline-flex;align-items:center;gap:6px;background:var(--surface);color:var(--text-2);border:1px solid var(--border-soft);border-radius:8px;padding:5px 10px;font:inherit;font-size:12px;cursor:pointer}
.toggle-all-btn svg{width:12px;height:12px;transform:rotate(90deg);transition:transform .15s}
.toggle-all-btn svg.rotated{transform:rotate(-90deg)}
.empty-state{text-align:center;color:var(--text-2);padding:32px;border:1px dashed var(--border-soft);border-radius:10px;margin-bottom:16px}
.empty-state b{display:block;color:var(--text);font-size:16px}
.empty-state[hidden]{display:none}
body:not([data-show-covered]) .accordion[data-covered=covered],body:not([data-show-partial]) .accordion[data-covered=partial],body:not([data-show-uncovered]) .accordion[data-covered=uncovered],body:not([data-show-unmeasurable]) .accordion[data-covered=unmeasurable],body:not([data-show-deprecated]) .accordion[data-deprecated=true],.accordion[data-search-hide],details[data-empty]{display:none}
.operation-list{display:flex;flex-direction:column;gap:14px;margin-bottom:24px}
.operation-list>details{position:relative}
.group-head{display:flex;align-items:center;gap:10px;cursor:pointer;list-style:none;padding:8px 4px;border-bottom:1px solid var(--border-soft)}
.group-head::-webkit-details-marker{display:none}
.group-chev svg{width:12px;height:12px;transition:transform .15s;color:var(--text-3)}
details[open]>.group-head .group-chev svg{transform:rotate(90deg)}
.group-name{font-weight:600;font-size:15px}
.group-count{display:flex;gap:8px;font-size:12px;color:var(--text-2);flex:1;flex-wrap:wrap}
.group-count .b.ok{color:var(--success)}.group-count .b.wn{color:var(--warning)}.group-count .b.bd{color:var(--danger)}.group-count .b.na{color:var(--text-3)}
.group-count .b.zero{opacity:.35}
.group-bar{display:flex;align-items:center;gap:8px}
.group-bar .fill{display:block;width:100px;height:6px;border-radius:3px;background:linear-gradient(90deg,var(--mag) calc(var(--pct,0) * 1%),var(--surface-2) 0)}
.group-pct{color:var(--mag);font-weight:600;font-size:12px;min-width:36px;text-align:right}
.anchor{position:absolute;right:-18px;top:8px;color:var(--text-3);text-decoration:none;opacity:0}
details[data-group]:hover>.anchor{opacity:1}
.group-body{display:flex;flex-direction:column;gap:6px;padding-top:8px}
.accordion{background:var(--surface);border:1px solid var(--border-soft);border-radius:8px}
.accordion>input{position:absolute;opacity:0;pointer-events:none}
.accordion-header{display:grid;grid-template-columns:22px 72px minmax(0,1fr) auto auto 22px 140px 16px;align-items:center;gap:10px;padding:8px 12px;cursor:pointer}
.accordion-header.deprecated .path{text-decoration:line-through;color:var(--text-2)}
.row-status svg{width:16px;height:16px}
.state-covered .row-status{color:var(--success)}.state-partial .row-status{color:var(--warning)}.state-uncovered .row-status{color:var(--danger)}.state-unmeasurable .row-status{color:var(--text-3)}
.method{font-family:var(--mono);font-size:12px;font-weight:600;text-transform:uppercase;text-align:center;border-radius:4px;padding:1px 6px;color:var(--bg);background:var(--text-3)}
.method.get{background:var(--m-get)}.method.head{background:var(--m-head)}.method.options{background:var(--m-options)}.method.post{background:var(--m-post)}.method.patch{background:var(--m-patch)}.method.put{background:var(--m-put)}.method.delete{background:var(--m-delete)}.method.query{background:var(--m-query)}.method.trace{background:var(--m-trace)}
.path{overflow:hidden;text-overflow:ellipsis;white-space:nowrap}
.path .var{color:var(--warning)}
.stat-stack{display:flex;flex-direction:column;align-items:center;line-height:1.1;min-width:56px}
.stat-stack .n{font-weight:600}.stat-stack .l{font-size:10px;color:var(--text-3)}
.stat-stack.dim{opacity:.4}
.dg-flag{width:16px;height:16px;color:var(--danger)}
.dg-flag svg{width:16px;height:16px}
.dg-flag.warning{color:var(--warning)}
.coverage-cell{display:flex;align-items:center;gap:8px}
.progress-bar{flex:1;height:6px;border-radius:3px;background:var(--surface-2);overflow:hidden}
.progress-fill{height:100%;width:calc(var(--pct,0) * 1%);background:var(--mag)}
.progress-text{font-weight:600;color:var(--mag);min-width:40px;text-align:right}
.progress-text .unit{font-size:10px}
.pct-na{color:var(--text-3);font-size:12px}
.accordion-arrow svg{width:12px;height:12px;color:var(--text-3);transition:transform .15s}
.accordion>input:checked~.accordion-header .accordion-arrow svg{transform:rotate(90deg)}
.accordion-content{display:none;border-top:1px solid var(--border-soft)}
.accordion>input:checked~.accordion-content{display:block}
.op-detail{padding:12px 16px;display:flex;flex-direction:column;gap:8px}
.op-errors{background:rgba(247,111,97,.1);border-left:3px solid var(--danger);padding:8px 12px;border-radius:4px;font-family:var(--mono);font-size:12px}
.op-section{display:flex;justify-content:space-between;align-items:baseline;font-weight:600;margin-top:8px;border-bottom:1px solid var(--border-soft);padding-bottom:4px}
.op-section-meta{font-weight:400;color:var(--text-2);font-size:12px}
.op-section-meta.ok,.op-item-meta.ok{color:var(--success)}.op-section-meta.bad,.op-item-meta.bad{color:var(--danger)}
.op-item{display:flex;gap:10px;align-items:baseline;margin-top:6px}
.op-item-name{font-family:var(--mono);font-weight:600}
.op-item-meta{font-size:12px}
.muted{color:var(--text-3)}
.op-cols,.op-resp-row{display:grid;grid-template-columns:70px 1fr 70px 80px;gap:10px;font-size:12px;padding:2px 0}
.op-cols{color:var(--text-3);text-transform:uppercase;font-size:10px}
.op-resp-row .code{font-family:var(--mono);font-weight:600}
.op-resp-row.success .code{color:var(--success)}.op-resp-row.redirect .code{color:var(--info)}.op-resp-row.client .code{color:var(--warning)}.op-resp-row.server .code{color:var(--danger)}.op-resp-row.info .code,.op-resp-row.default .code{color:var(--text-2)}
.op-resp-row .desc{overflow:hidden;text-overflow:ellipsis;white-space:nowrap;color:var(--text-2)}
.op-resp-row.never{opacity:.5}
.op-resp-row.undocumented .code{text-decoration:underline dotted}
.op-subsection{margin-top:8px;color:var(--text-2);font-size:12px}
.hint{color:var(--text-3)}
.op-examples-group-head{margin-top:6px;color:var(--text-2);font-size:12px}
.op-example{display:flex;gap:10px;align-items:flex-start;font-size:12px}
.op-example .dot{width:8px;height:8px;border-radius:50%;background:var(--success);margin-top:5px;flex:none}
.op-example.unused .dot{background:var(--text-3)}
.op-example.unused .value{opacity:.55}
.op-example .value{white-space:pre;margin:0;flex:1;overflow:auto}
.op-example .source{color:var(--text-3)}.op-example .leaf{color:var(--text-2)}
.sv{background:var(--bg);border:1px solid var(--border-soft);border-radius:6px;margin:6px 0;overflow:auto}
.sc{font-family:var(--mono);font-size:12px;min-width:100%;display:table}
.sv-head,.sv-row{display:table-row}
.sv-head>span{display:table-cell;color:var(--text-3);font-size:10px;text-transform:uppercase;padding:2px 6px;border-bottom:1px solid var(--border-soft)}
.sv-row>span{display:table-cell;padding:0 6px;white-space:pre}
.sv-row .ln{color:var(--text-3);text-align:right;user-select:none;width:1%}
.sv-row .cl,.sv-head .h-code{width:100%}
.sv-row .cell{text-align:right;min-width:44px;width:1%;position:relative}
.cell.hit{color:var(--success)}.cell.miss{color:var(--danger)}.cell.na{color:var(--text-3)}
.cell[data-tip]:hover::after{content:attr(data-tip);position:absolute;left:100%;top:-2px;z-index:5;white-space:nowrap;background:var(--surface-2);color:var(--text);border:1px solid var(--border);border-radius:4px;padding:1px 6px;font-family:var(--font)}
.sv-row.l-f{background:rgba(81,205,120,.08)}.sv-row.l-p{background:rgba(245,183,76,.08)}.sv-row.l-n{background:rgba(247,111,97,.08)}.sv-row.l-na{opacity:.6}
.ref-link{color:var(--info);text-decoration:none;border-bottom:1px dotted var(--info)}
.ic{margin:6px 0}.ic-h{display:flex;align-items:center;gap:6px;color:var(--text-2);font-family:var(--mono);font-size:12px}
.ic-i{color:var(--info)}
.ref-components-section{margin:6px 0}
.ref-components-toggle,.ref-component-header{display:flex;align-items:center;gap:10px;cursor:pointer;list-style:none;font-size:12px;padding:4px 0;color:var(--text-2)}
.ref-components-toggle::-webkit-details-marker,.ref-component-header::-webkit-details-marker{display:none}
.ref-component-bar{width:80px;height:5px;border-radius:3px;background:var(--surface-2);overflow:hidden}
.ref-component-bar .fill{display:block;height:100%;width:calc(var(--pct,0) * 1%);background:var(--mag,var(--text-3))}
.toggle-icon{color:var(--text-3);transition:transform .15s}
details[open]>summary>.toggle-icon{transform:rotate(90deg)}
.ref-components-list{padding-left:12px;border-left:1px solid var(--border-soft)}
.ref-component-name{font-family:var(--mono);font-weight:600;color:var(--text)}
.dg-inline{display:flex;flex-direction:column;gap:6px;margin:4px 0}
.dg{display:flex;gap:8px;padding:8px 10px;border-radius:6px;background:rgba(247,111,97,.08);border-left:3px solid var(--danger)}
.dg.warning{background:rgba(245,183,76,.08);border-left-color:var(--warning)}
.dg-mark svg{width:16px;height:16px}
.dg.error .dg-mark{color:var(--danger)}.dg.warning .dg-mark{color:var(--warning)}
.dg-body{display:flex;flex-direction:column;gap:2px;font-size:12px}
.dg-line .what{font-weight:600}
.dg-why{color:var(--text-2);font-family:var(--mono)}
.dg-fix{color:var(--text-2)}
.dg-collected{background:var(--surface);border:1px solid var(--border-soft);border-left:3px solid var(--danger);border-radius:8px;margin-bottom:16px}
.dg-collected.warnonly{border-left-color:var(--warning)}
.dg-collected>summary,.dg-kind>summary{display:flex;align-items:center;gap:8px;cursor:pointer;list-style:none;padding:10px 12px}
.dg-collected>summary::-webkit-details-marker,.dg-kind>summary::-webkit-details-marker{display:none}
.chev svg{width:12px;height:12px;color:var(--text-3);transition:transform .15s}
details[open]>summary>.chev svg{transform:rotate(90deg)}
.spacer{flex:1}
.dg-count{font-size:12px;border-radius:999px;padding:1px 8px}
.dg-count.err{background:rgba(247,111,97,.18);color:var(--danger)}.dg-count.wrn{background:rgba(245,183,76,.18);color:var(--warning)}
.dg-collected-body{padding:0 12px 12px}
.dg-kind{border-top:1px solid var(--border-soft)}
.dg-kind-dot{width:8px;height:8px;border-radius:50%;background:var(--danger)}
.dg-kind.warning .dg-kind-dot{background:var(--warning)}
.dg-kind-name{font-weight:600}.dg-kind-hint{color:var(--text-3);font-size:12px;flex:1}.dg-kind-n{color:var(--text-2);font-size:12px}
.dg-kind-body{padding:0 12px 10px 32px;font-size:12px}
.dg-action{margin:0 0 6px;color:var(--text-2)}
.dg-loc{display:flex;gap:10px;align-items:baseline;flex-wrap:wrap;padding:2px 0}
.dg-loc .detail{font-family:var(--mono);max-width:50%;overflow:hidden;text-overflow:ellipsis;white-space:nowrap}
.ats{display:flex;gap:6px;flex-wrap:wrap}
.at{display:inline-flex;gap:4px;background:var(--surface-2);border-radius:4px;padding:0 6px;color:var(--text-2);text-decoration:none;font-family:var(--mono)}
a.at:hover{color:var(--text)}
.at .m{font-weight:600}.at .q{color:var(--text-3)}
.dg-more{color:var(--text-3);padding-top:4px}
.unmatched-section{background:var(--surface);border:1px solid var(--border-soft);border-radius:8px;margin-bottom:24px}
.unmatched-head{display:flex;align-items:center;gap:10px;cursor:pointer;list-style:none;padding:10px 12px}
.unmatched-head::-webkit-details-marker{display:none}
.unmatched-chev svg{width:12px;height:12px;color:var(--text-3);transition:transform .15s}
details[open]>.unmatched-head .unmatched-chev svg{transform:rotate(90deg)}
.unmatched-title{font-weight:600}.unmatched-hint{color:var(--text-3);font-size:12px}
.unmatched-scroll{overflow:auto;padding:0 12px}
.unmatched-table{width:100%;border-collapse:collapse;font-size:12px}
.unmatched-table th{text-align:left;color:var(--text-3);font-weight:400;border-bottom:1px solid var(--border-soft);padding:4px}
.unmatched-table td{padding:4px;border-bottom:1px solid var(--border-soft)}
.unmatched-count{text-align:right}
.unmatched-note{color:var(--text-3);font-size:12px;padding:0 12px}
.report-footer{display:flex;justify-content:space-between;align-items:center;max-width:1400px;margin:0 auto;padding:16px 24px 32px;color:var(--text-3);font-size:12px}
.report-footer a{color:var(--text-2);text-decoration:none}
.report-footer-brand{display:inline-flex;align-items:center;gap:6px}
.vl-footer-mark{width:16px;height:16px}
@media (max-width:720px){.container{padding:0 12px}.charts{grid-template-columns:repeat(2,1fr)}.accordion-header{grid-template-columns:20px 60px minmax(0,1fr) 16px}.accordion-header .stat-stack,.accordion-header .coverage-cell,.accordion-header .dg-flag{display:none}header.container{flex-direction:column;align-items:flex-start}}
)STYLE";

const std::string_view kScript = R"SCRIPT(
(function () {
  "use strict";
  var body = document.body;
  var chips = Array.prototype.slice.call(document.querySelectorAll(".filter-chip"));
  var entries = Array.prototype.slice.call(document.querySelectorAll(".accordion"));
  var groups = Array.prototype.slice.call(document.querySelectorAll("details[data-group]"));
  var toggleBtn = document.getElementById("toggle-all");
  var toggleText = document.getElementById("toggle-text");
  var toggleIcon = document.getElementById("toggle-icon");
  var emptyState = document.getElementById("empty-state");
  var emptyTitle = document.getElementById("empty-state-title");
  var emptyMsg = document.getElementById("empty-state-msg");
  var searchInput = document.getElementById("search-input");
  var searchBar = searchInput ? searchInput.closest(".search-bar") : null;
  var defaults = {};
  chips.forEach(function (c) { defaults[c.getAttribute("data-filter")] = c.classList.contains("on"); });

  function decodeId(text) {
    try { return decodeURIComponent(text); } catch (e) { return text; }
  }
  function checkboxOf(entry) {
    var first = entry.firstElementChild;
    return first && first.tagName === "INPUT" ? first : null;
  }
  function isVisible(entry) {
    if (entry.hasAttribute("data-search-hide")) return false;
    if (!body.hasAttribute("data-show-" + entry.getAttribute("data-covered"))) return false;
    if (entry.getAttribute("data-deprecated") === "true" && !body.hasAttribute("data-show-deprecated")) return false;
    return true;
  }
  function refreshToggle() {
    var visible = entries.filter(isVisible);
    var all = visible.length > 0 && visible.every(function (e) { var c = checkboxOf(e); return c && c.checked; });
    if (toggleText) toggleText.textContent = all ? "Collapse all" : "Expand all";
    if (toggleIcon) toggleIcon.classList.toggle("rotated", all);
    return all;
  }
  function refreshGroups() {
    groups.forEach(function (g) {
      var any = Array.prototype.some.call(g.querySelectorAll(".accordion"), isVisible);
      if (any) g.removeAttribute("data-empty"); else g.setAttribute("data-empty", "");
    });
  }
  function refreshEmpty() {
    if (!emptyState) return;
    if (entries.length === 0 || entries.some(isVisible)) { emptyState.hidden = true; return; }
    var anyOn = chips.some(function (c) { return c.classList.contains("on"); });
    emptyTitle.textContent = anyOn ? "No operations match" : "Nothing to show";
    emptyMsg.textContent = anyOn ? "Try clearing the search or enabling more filters." : "Turn on at least one filter to see operations.";
    emptyState.hidden = false;
  }
  function refresh() { refreshGroups(); refreshEmpty(); refreshToggle(); }
  function applyChips() {
    chips.forEach(function (c) {
      var name = c.getAttribute("data-filter");
      var on = c.classList.contains("on");
      c.setAttribute("aria-pressed", on ? "true" : "false");
      if (on) body.setAttribute("data-show-" + name, ""); else body.removeAttribute("data-show-" + name);
    });
  }
  function writeQuery() {
    try {
      var url = new URL(window.location.href);
      var atDefault = chips.every(function (c) { return c.classList.contains("on") === defaults[c.getAttribute("data-filter")]; });
      if (atDefault) {
        url.searchParams.delete("filter");
      } else {
        var on = chips.filter(function (c) { return c.classList.contains("on"); }).map(function (c) { return c.getAttribute("data-filter"); });
        url.searchParams.set("filter", on.join(","));
        url.search = url.search.replace(/%2C/g, ",");
      }
      window.history.replaceState(window.history.state, "", url.toString());
    } catch (e) {
      /* some browsers refuse to rewrite addresses of local files; the filters still apply */
    }
  }

  var params = new URLSearchParams(window.location.search);
  if (params.has("filter")) {
    var wanted = params.get("filter").split(",").map(function (s) { return s.trim(); });
    chips.forEach(function (c) { c.classList.toggle("on", wanted.indexOf(c.getAttribute("data-filter")) >= 0); });
  }
  applyChips();
  chips.forEach(function (c) {
    c.addEventListener("click", function () {
      c.classList.toggle("on");
      applyChips();
      writeQuery();
      refresh();
    });
  });

  function openAround(target) {
    for (var node = target; node && node !== body; node = node.parentElement) {
      if (node.tagName === "DETAILS" && !node.open) node.open = true;
      if (node.classList && node.classList.contains("accordion")) {
        var box = checkboxOf(node);
        if (box) box.checked = true;
      }
    }
    refreshToggle();
  }
  if (window.location.hash.indexOf("#group-") === 0) {
    var group = document.getElementById(decodeId(window.location.hash.slice(1)));
    if (group && group.tagName === "DETAILS") group.open = true;
  }
  document.addEventListener("click", function (event) {
    var link = event.target.closest ? event.target.closest("a.ref-link, .dg-loc a.at") : null;
    if (!link) return;
    var href = link.getAttribute("href") || "";
    if (href.charAt(0) !== "#") return;
    var target = document.getElementById(decodeId(href.slice(1)));
    if (target) openAround(target);
  });
  document.addEventListener("change", function (event) {
    var t = event.target;
    if (t && t.parentElement && t.parentElement.classList.contains("accordion")) refreshToggle();
  });
  document.addEventListener("mouseover", function (event) {
    var cell = event.target.closest ? event.target.closest(".sv-row .cell") : null;
    if (!cell || cell.classList.contains("empty") || cell.hasAttribute("data-tip")) return;
    var kind = cell.classList.contains("v") ? "Valid" : "Invalid";
    var tip = null;
    if (cell.classList.contains("hit")) {
      var n = parseInt(cell.textContent, 10);
      tip = kind + " hit - " + cell.textContent + " " + (n === 1 ? "time" : "times");
    } else if (cell.classList.contains("miss")) {
      tip = kind + " never tested";
    } else if (cell.classList.contains("na")) {
      tip = kind + " not applicable for this keyword";
    }
    if (tip) cell.setAttribute("data-tip", tip);
  });

  function plural(n, unit) { return n === 1 ? "1 " + unit + " ago" : n + " " + unit + "s ago"; }
  Array.prototype.forEach.call(document.querySelectorAll(".time[data-iso]"), function (el) {
    var then = Date.parse(el.getAttribute("data-iso"));
    var rel = el.querySelector(".rel");
    if (!rel || isNaN(then)) return;
    var s = Math.max(0, (Date.now() - then) / 1000);
    var text;
    if (s < 45) text = "just now";
    else if (s < 3600) text = plural(Math.max(1, Math.round(s / 60)), "minute");
    else if (s < 86400) text = plural(Math.max(1, Math.round(s / 3600)), "hour");
    else if (s < 86400 * 30) text = plural(Math.max(1, Math.round(s / 86400)), "day");
    else if (s < 86400 * 365) text = plural(Math.max(1, Math.round(s / (86400 * 30))), "month");
    else text = plural(Math.max(1, Math.round(s / (86400 * 365))), "year");
    rel.textContent = text;
  });

  if (toggleBtn) {
    toggleBtn.addEventListener("click", function () {
      var visible = entries.filter(isVisible);
      var all = visible.length > 0 && visible.every(function (e) { var c = checkboxOf(e); return c && c.checked; });
      entries.forEach(function (e) { var c = checkboxOf(e); if (c) c.checked = !all; });
      refreshToggle();
    });
  }

  var searchTimer = null;
  function applySearch() {
    var query = searchInput ? searchInput.value.trim().toLowerCase() : "";
    entries.forEach(function (e) {
      var holder = e.querySelector("[data-search]");
      var text = holder ? holder.getAttribute("data-search").toLowerCase() : "";
      if (query === "" || text.indexOf(query) >= 0) e.removeAttribute("data-search-hide");
      else e.setAttribute("data-search-hide", "");
    });
    if (searchBar) searchBar.classList.toggle("has-value", query !== "");
    refresh();
  }
  if (searchInput) {
    searchInput.addEventListener("input", function () {
      if (searchTimer) clearTimeout(searchTimer);
      searchTimer = setTimeout(applySearch, 150);
    });
    var clear = searchBar ? searchBar.querySelector(".clear-btn") : null;
    if (clear) {
      clear.addEventListener("click", function () {
        searchInput.value = "";
        applySearch();
        searchInput.focus();
      });
    }
  }
  applySearch();
})();
)SCRIPT";

}  // namespace vantorel::reports::html_assets

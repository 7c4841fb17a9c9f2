// The dashboard's stylesheet and script, compiled into the program so that
// nothing is loaded from outside the collector.
#ifndef TALLYGATE_COLLECTOR_WEB_STATIC_ASSETS_H_
#define TALLYGATE_COLLECTOR_WEB_STATIC_ASSETS_H_

namespace tallygate::collector::web {

// /static/app.css: readable on a phone; wide tables scroll sideways.
extern const char* const kAppCss;

// /static/app.js: shows <time datetime> in the browser's zone, reloads
// pages whose <body> has data-refresh="SECONDS", and adds punches from the
// live feed to the punches page that carries #live-note.
extern const char* const kAppJs;

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_STATIC_ASSETS_H_

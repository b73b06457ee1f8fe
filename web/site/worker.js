// The page's worker: the simulator and the session it steps, off the page's
// own thread, so that a long run never freezes the page.
'use strict';
importScripts('fivestage.js', 'host.js');

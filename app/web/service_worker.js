// The service worker: one whole build of the site in a cache of its own, so that the page
// starts with no network. A new build is a new worker with a new cache, filled completely
// before it serves anything; the old cache goes only once the new one has taken over.
'use strict';

// Written in by stamp_site.cmake: a digest of every byte of the site's other files, and
// their names.
const build = '@QUILLOP_BUILD@';
const files = '@QUILLOP_FILES@'.split(' ');
const cacheName = `quillop-${build}`;

// Straight from the server, never from the browser's own cache, which may still hold a file
// of an older build.
self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(cacheName).then((cache) =>
    cache.addAll(files.map((name) => new Request(name, { cache: 'reload' })))));
});

// A page that has started asks a waiting worker of a newer build to take over; its own files
// are all loaded by then, so the next start runs the new build, every file of it.
self.addEventListener('message', (event) => {
  if (event.data === 'take over') {
    self.skipWaiting();
  }
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names
      .filter((name) => name.startsWith('quillop-') && name !== cacheName)
      .map((name) => caches.delete(name))))
    .then(() => self.clients.claim()));
});

// The query string is the game's command line, not part of a file's name. The folder's own
// address is the page.
async function cachedResponse(request) {
  const cache = await caches.open(cacheName);
  const found = await cache.match(request, { ignoreSearch: true });
  if (found !== undefined) {
    return found;
  }
  if (request.mode === 'navigate' && new URL(request.url).pathname.endsWith('/')) {
    const page = await cache.match('index.html');
    if (page !== undefined) {
      return page;
    }
  }
  return fetch(request);
}

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method === 'GET' && new URL(request.url).origin === location.origin) {
    event.respondWith(cachedResponse(request));
  }
});

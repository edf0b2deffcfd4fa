// Starts the program in the page and runs the delay view (see index.html).
'use strict';

createGravlag().then(function (module) {
  window.gravlag = module;
  var loading = document.getElementById('gravlag-loading');
  if (loading)
    loading.remove();
  document.body.dataset.ready = '1';
});

// Stands in for the web application until web/dist is built: shows that the
// page loaded as a module and that the command bridge answers.
const status = document.getElementById('status');
const ipc = window.__HARVEL_IPC__;
if (ipc) {
  ipc.invoke('state_get').then(
    (state) => { status.dataset.state = JSON.stringify(state); },
    (error) => { status.dataset.error = String(error); });
}

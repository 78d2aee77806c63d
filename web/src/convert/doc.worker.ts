// The document worker: one request in, one reply out, the output bytes transferred.

import { handleRequest, type DocRequest } from "./protocol";

interface WorkerScope {
  onmessage: ((event: MessageEvent<DocRequest>) => void) | null;
  postMessage(message: unknown, transfer: Transferable[]): void;
}

const scope = self as unknown as WorkerScope;

scope.onmessage = async (event) => {
  const reply = await handleRequest(event.data);
  scope.postMessage(reply, reply.ok ? [reply.buffer] : []);
};

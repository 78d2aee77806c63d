// Messages between the converter page and the document worker, and the worker's handler.

import { convertDocument, DocumentRefusal, GENERIC_FAILURE } from "./document";
import type { ScriptChoice } from "./types";

export interface DocRequest {
  /** The page's job number, echoed back. */
  id: number;
  name: string;
  buffer: ArrayBuffer;
  script: ScriptChoice;
}

export interface DocSuccess {
  id: number;
  ok: true;
  /** The output file name. */
  name: string;
  buffer: ArrayBuffer;
  mime: string;
  changed: number;
  warnings: number;
  usedCyrillic: boolean;
  /** Preview of the file's text before conversion. */
  source: string;
  truncated: boolean;
  /** Length of the whole preview text. */
  chars: number;
}

export interface DocFailure {
  id: number;
  ok: false;
  error: string;
}

export type DocReply = DocSuccess | DocFailure;

/** Answers one request with exactly one reply; never throws. */
export async function handleRequest(request: DocRequest): Promise<DocReply> {
  const id = request?.id;
  try {
    const doc = await convertDocument(String(request.name ?? ""), new Uint8Array(request.buffer), request.script);
    // The reply hands over a buffer of exactly the output's bytes.
    const buffer =
      doc.bytes.byteOffset === 0 && doc.bytes.byteLength === doc.bytes.buffer.byteLength
        ? (doc.bytes.buffer as ArrayBuffer)
        : (doc.bytes.slice().buffer as ArrayBuffer);
    return {
      id,
      ok: true,
      name: doc.name,
      buffer,
      mime: doc.mime,
      changed: doc.changed,
      warnings: doc.warnings,
      usedCyrillic: doc.usedCyrillic,
      source: doc.source,
      truncated: doc.truncated,
      chars: doc.chars,
    };
  } catch (error) {
    return { id, ok: false, error: error instanceof DocumentRefusal ? error.message : GENERIC_FAILURE };
  }
}

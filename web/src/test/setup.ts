import "@testing-library/jest-dom/vitest";
import { cleanup } from "@testing-library/react";
import { afterEach } from "vitest";
import { resetMedia } from "./media";

afterEach(() => {
  cleanup();
  resetMedia();
  delete window.uz;
  delete window.__HARVEL_IPC__;
  delete window.__toast;
  const root = document.documentElement;
  root.className = "";
  root.removeAttribute("style");
  document.body.removeAttribute("style");
});

import { StrictMode } from "react";
import { createRoot } from "react-dom/client";
import { HashRouter } from "react-router";
import { Root } from "./app/Root";
import { installFacade } from "./lib/facade";
import { applyTheme } from "./lib/theme";
import "./index.css";

installFacade();
// Follow the system's colour preference before the first paint, so no window flashes
// in the wrong theme while the state is on its way.
applyTheme("system");

createRoot(document.getElementById("root")!).render(
  <StrictMode>
    <HashRouter>
      <Root />
    </HashRouter>
  </StrictMode>,
);

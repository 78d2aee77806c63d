import { render } from "@testing-library/react";
import { StrictMode } from "react";
import { expect, it } from "vitest";
import { installFacade } from "../lib/facade";
import { createFakeBridge } from "../test/fakeBridge";
import { makeSnapshot } from "../test/fixtures";
import { DebugOverlay } from "./DebugOverlay";

it("asks for debug mode once, listens to nothing and shows nothing", () => {
  const fake = createFakeBridge();
  window.__HARVEL_IPC__ = fake.bridge;
  installFacade();
  const view = render(
    <StrictMode>
      <DebugOverlay state={makeSnapshot()} />
    </StrictMode>,
  );
  view.rerender(
    <StrictMode>
      <DebugOverlay state={makeSnapshot({ version: "0.1.8" })} />
    </StrictMode>,
  );
  expect(fake.invoke.mock.calls).toEqual([["debug_mode", {}]]);
  expect(fake.listen).not.toHaveBeenCalled();
  expect(view.container).toBeEmptyDOMElement();
});

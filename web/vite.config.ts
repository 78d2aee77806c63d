/// <reference types="vitest/config" />
import { defineConfig, type Plugin } from "vite";
import react from "@vitejs/plugin-react";
import tailwindcss from "@tailwindcss/vite";

const DEV_PORT = 5173;

/**
 * index.html carries the production content security policy. Under the development
 * server the page also talks to the server itself (updates come over a WebSocket) and
 * loads advertisement images and videos from the local site server on port 3000.
 */
function devContentSecurityPolicy(): Plugin {
  const extra: Record<string, string> = {
    "img-src": "http://localhost:3000",
    "media-src": "http://localhost:3000",
    "connect-src": `ws://localhost:${DEV_PORT} http://localhost:${DEV_PORT}`,
  };
  return {
    name: "harvel-dev-csp",
    apply: "serve",
    transformIndexHtml(html) {
      return html.replace(/(http-equiv="Content-Security-Policy"\s+content=")([^"]*)"/, (_, head, policy) => {
        const directives = policy.split(";").map((d: string) => d.trim());
        const names = directives.map((d: string) => d.split(" ")[0]);
        for (const [name, sources] of Object.entries(extra)) {
          const i = names.indexOf(name);
          if (i >= 0) directives[i] += ` ${sources}`;
          else directives.push(`${name} ${sources}`);
        }
        return `${head}${directives.join("; ")}"`;
      });
    },
  };
}

export default defineConfig({
  // Relative asset addresses: the native program serves dist/ from its own origin.
  base: "./",
  plugins: [react(), tailwindcss(), devContentSecurityPolicy()],
  server: { port: DEV_PORT, strictPort: true },
  build: {
    outDir: "dist",
    emptyOutDir: true,
    // Both web engines support module preloading natively.
    modulePreload: { polyfill: false },
  },
  test: {
    environment: "jsdom",
    // The machines the suites run on are shared: a page test that types into a form can
    // take several seconds when the others are busy.
    testTimeout: 20_000,
    setupFiles: ["./src/test/setup.ts"],
    restoreMocks: true,
  },
});

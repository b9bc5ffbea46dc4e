// Preloaded into a real MCP server under test (node -r): every TCP listener binds to
// 127.0.0.1 only, and reports the port it got as "listening-port=N" on standard error, so a
// test can ask for port 0 and never collide with another test.
const net = require('net');
const listen = net.Server.prototype.listen;
net.Server.prototype.listen = function (...args) {
  const callback = typeof args[args.length - 1] === 'function' ? args.pop() : undefined;
  let options = args[0];
  if (typeof options === 'number' || typeof options === 'string') options = { port: Number(options) };
  if (!options || typeof options !== 'object' || 'path' in options) return listen.apply(this, arguments);
  this.once('listening', () => process.stderr.write(`listening-port=${this.address().port}\n`));
  return listen.call(this, { ...options, host: '127.0.0.1' }, callback);
};

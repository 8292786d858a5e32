#pragma once

namespace tarvelmond::host {

// The live view's page: three scrolling graphs drawn on canvases from the samples the page fetches.
inline constexpr const char* kLiveViewPage = R"PAGE(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Tarvelmond live view</title>
<style>
body { font: 14px sans-serif; margin: 12px; background: #fafafa; }
canvas { display: block; background: #fff; border: 1px solid #ccc; margin: 4px 0 12px 0; }
#channels label { display: inline-block; width: 200px; font-size: 12px; }
</style></head><body>
<h3>Tarvelmond live view <span id="state"></span></h3>
<div>Final axes</div><canvas id="axes" width="900" height="220"></canvas>
<div>Profile weights and output fade (%)</div><canvas id="weights" width="900" height="120"></canvas>
<div>Picked game channels</div><canvas id="picked" width="900" height="180"></canvas>
<div id="channels"></div>
<script>
const seconds = 10;
const colours = ['#d62728', '#1f77b4', '#2ca02c', '#9467bd', '#ff7f0e', '#17becf', '#8c564b', '#e377c2'];
const axisNames = ['lateral', 'longitudinal', 'vertical', 'yaw', 'roll', 'pitch'];
let names = [], picked = [], samples = [], last = -1;

function draw(canvasId, series, labels, fixedRange) {
  const canvas = document.getElementById(canvasId), g = canvas.getContext('2d');
  g.clearRect(0, 0, canvas.width, canvas.height);
  if (samples.length < 2) return;
  const newest = samples[samples.length - 1][1], oldest = newest - seconds;
  let low = Infinity, high = -Infinity;
  if (fixedRange) { [low, high] = fixedRange; } else {
    for (const s of samples) for (const i of series) { low = Math.min(low, s[i]); high = Math.max(high, s[i]); }
    const half = Math.max(Math.abs(low), Math.abs(high), 1e-3) * 1.1; low = -half; high = half;
  }
  const x = t => (t - oldest) / seconds * (canvas.width - 110);
  const y = v => canvas.height - 8 - (v - low) / (high - low) * (canvas.height - 16);
  g.strokeStyle = '#ddd'; g.beginPath(); g.moveTo(0, y(0)); g.lineTo(canvas.width - 110, y(0)); g.stroke();
  series.forEach((index, n) => {
    g.strokeStyle = colours[n % colours.length]; g.lineWidth = 1.5; g.beginPath();
    samples.forEach((s, k) => { const px = x(s[1]), py = y(s[index]); k ? g.lineTo(px, py) : g.moveTo(px, py); });
    g.stroke();
    g.fillStyle = colours[n % colours.length];
    g.fillText(labels[n] + ' ' + samples[samples.length - 1][index].toFixed(2), canvas.width - 105, 14 + 14 * n);
  });
  g.fillStyle = '#666'; g.fillText(high.toFixed(2), 2, 10); g.fillText(low.toFixed(2), 2, canvas.height - 2);
}

function redraw() {
  draw('axes', [2, 3, 4, 5, 6, 7], axisNames);
  draw('weights', [8, 9, 10], ['air', 'ground', 'fade'], [0, 100]);
  draw('picked', picked.map((c, n) => 11 + n), picked.map(c => names[c]));
}

async function poll() {
  try {
    const reply = await fetch('/samples?since=' + last + '&channels=' + picked.join(','));
    const data = await reply.json();
    for (const s of data.samples) { samples.push(s); last = s[0]; }
    const newest = samples.length ? samples[samples.length - 1][1] : 0;
    while (samples.length && samples[0][1] < newest - seconds) samples.shift();
    document.getElementById('state').textContent = samples.length ? '' : '(waiting for a game)';
    redraw();
  } catch (e) {
    document.getElementById('state').textContent = '(the host has stopped)';
  }
  setTimeout(poll, 200);
}

function pick() {
  picked = [...document.querySelectorAll('#channels input:checked')].map(box => Number(box.value));
  samples = []; last = -1;  // the picked channels come with the samples: start again
}

// The page arrives with the channel names and the samples kept so far, so it draws at once.
const initial = /*INITIAL*/;
names = initial.channels;
picked = initial.picked;
const box = document.getElementById('channels');
names.forEach((name, i) => {
  const label = document.createElement('label'), input = document.createElement('input');
  input.type = 'checkbox'; input.value = i; input.checked = picked.includes(i);
  input.addEventListener('change', pick);
  label.append(input, ' ' + name);
  box.appendChild(label);
});
for (const s of initial.data.samples) { samples.push(s); last = s[0]; }
redraw();
setTimeout(poll, 200);
</script></body></html>
)PAGE";

}  // namespace tarvelmond::host

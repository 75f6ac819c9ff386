ardour {
	["type"]    = "dsp",
	name        = "Test Tone",
	category    = "Utility",
	license     = "MIT",
	author      = "SoftKneeShaper tests",
	description = [[A sine of exact amplitude and frequency on every channel, in place of the input]]
}

function dsp_ioconfig ()
	return { { audio_in = -1, audio_out = -1 } }
end

function dsp_params ()
	return
	{
		{ ["type"] = "input", name = "Amplitude", min = 0, max = 1, default = 0.25 },
		{ ["type"] = "input", name = "Frequency", min = 1, max = 20000, default = 997, unit = "Hz" },
	}
end

local rate = 48000
local phase = 0

function dsp_init (sample_rate)
	rate = sample_rate
end

-- The phase runs on in double precision from block to block, so the tone has no seams.
function dsp_run (ins, outs, n_samples)
	local ctrl = CtrlPorts:array ()
	local step = ctrl[2] / rate
	local start = phase
	for c = 1, #outs do
		local out = outs[c]:array ()
		local p = start
		for i = 1, n_samples do
			out[i] = ctrl[1] * math.sin (2 * math.pi * p)
			p = p + step
			if p >= 1 then p = p - 1 end
		end
		phase = p
	end
end
